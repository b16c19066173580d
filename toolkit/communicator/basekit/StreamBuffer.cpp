#include <basekit/StreamBuffer.h>
