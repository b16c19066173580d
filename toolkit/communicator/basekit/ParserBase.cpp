#include <basekit/ParserBase.h>
