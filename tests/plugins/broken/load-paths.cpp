// Fault: paths joined with a forward slash.
#define BUILD_PATH(directory, file)                      \
  (strlen(directory) + 1 + strlen(file) < sizeof path && \
   snprintf(path, sizeof path, "%s/%s", directory, file) > 0)
#include "skeleton.h"
