// A wrong include planted for the include_order_catches_planted test: base/ lies below run/.
#pragma once

#include "run/Fine.h"
