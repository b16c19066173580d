#include <basekit/Queue.h>
