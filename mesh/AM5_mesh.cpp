#include "mesh/AM5_mesh.h"
