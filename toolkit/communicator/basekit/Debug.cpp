#include <basekit/Debug.h>
