#include "model/AM5_model.h"
