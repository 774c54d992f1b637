#include "appcore.h"
