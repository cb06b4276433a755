// The one SQL parser, whose expression trees the layer above runs.
#pragma once

#include "db/jet/query/query_sql_parse.h"
