#include "model/AM5_group.h"
