#include "core/app.h"
