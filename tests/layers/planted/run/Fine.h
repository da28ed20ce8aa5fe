// An include that keeps the order: run/ may use base/.
#pragma once

#include "base/Planted.h"
