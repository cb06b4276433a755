// The engine's name rule (how Jet compares table, field and query names), for the layer above; docs/names.md.
#pragma once

#include "db/jet/text/names.h"
