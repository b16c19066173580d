#include <basekit/NameSpace.h>
