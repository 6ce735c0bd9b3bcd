#include "model/AM5_segment.h"
