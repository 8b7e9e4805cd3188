#pragma once
#include "support/Error.h"
