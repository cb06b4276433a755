// Code pages: Jet 3 text to and from UTF-8, and the code page of a sort order, for the layer above.
#pragma once

#include "db/jet/text/codepage.h"
