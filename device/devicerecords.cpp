#include "devicerecords.h"
