// Fault: the path is built with no check of its length.
#define BUILD_PATH(directory, file) \
  (sprintf(path, "%s\\%s", directory, file) > 0)
#include "skeleton.h"
