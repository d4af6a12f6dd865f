// stb_image's decoders, compiled here from Debian's header (libstb-dev) rather than linked as its
// libstb.so: that library holds every stb library, and a plug-in that only decodes bitmaps need
// not make the host load it.
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
