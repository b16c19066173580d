#include <basekit/DNA.h>
