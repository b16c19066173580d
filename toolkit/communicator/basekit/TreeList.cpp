#include <basekit/TreeList.h>
