#include <basekit/Token.h>
