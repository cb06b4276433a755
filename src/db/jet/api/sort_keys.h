// Index sort keys (General and Japanese sort orders), for the layer above to order rows as Jet does.
#pragma once

#include "db/jet/index/index_key.h"
