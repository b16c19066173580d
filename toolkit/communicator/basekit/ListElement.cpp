#include <basekit/ListElement.h>
