// stb_image's decoders, compiled here from Debian's header (libstb-dev) rather than linked as its
// libstb.so: that library holds every stb library, and a plug-in that only decodes bitmaps need
// not make the host load it. Bitmaps are decoded on the editor's thread only, so stb_image's
// per-thread settings and failure reason are plain variables: the module has no thread-local
// storage of its own for the host's threads to carry.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_THREAD_LOCALS
#include <stb_image.h>
