#include <basekit/LList.h>
