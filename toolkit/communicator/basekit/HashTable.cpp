#include <basekit/HashTable.h>
