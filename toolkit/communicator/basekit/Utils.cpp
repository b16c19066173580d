#include <basekit/Utils.h>
