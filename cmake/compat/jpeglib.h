// JUCE includes <jpeglib.h> inside a namespace of its own, where libjpeg's
// boolean would clash with the one rpcndr.h already put in the global scope.
typedef unsigned char boolean;
#define HAVE_BOOLEAN
#include_next <jpeglib.h>
