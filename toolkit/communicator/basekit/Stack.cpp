#include <basekit/Stack.h>
