#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <vector>

namespace plug::gfx {

// A rectangle of pixels, left/top inclusive.
struct PixelRect
{
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// Copies rectangles of a frame into a window. The frame is premultiplied ARGB, one native-endian
// 32-bit word a pixel, rows of stride bytes (the layout of a Cairo ARGB32 image surface). On a
// 24- or 32-bit true-colour visual whose pixels have the same layout the words go to the server as
// they are: through a shared-memory image when the server offers MIT-SHM (and accepts the segment:
// a remote server does not), else through XPutImage straight from the frame. Any other visual gets
// a converted copy. [main]
class XImagePresenter
{
public:
  XImagePresenter(Display* display, Window window, Visual* visual, int depth);
  ~XImagePresenter();
  XImagePresenter(const XImagePresenter&) = delete;
  XImagePresenter& operator=(const XImagePresenter&) = delete;

  // Copies the rectangles, each clipped to the frame, to the same place in the window.
  void Present(const uint8_t* pixels, int width, int height, int stride, const std::vector<PixelRect>& rects);

  bool UsesSharedMemory() const { return mShmAvailable; }
  // The event type of the server's completion notices, or -1 without shared memory.
  int CompletionEventType() const { return mCompletionType; }
  // The server has read the shared image: it may be written again.
  void OnCompletion() { mShmPending = false; }

private:
  bool DirectLayout() const;
  bool EnsureSharedImage(int width, int height);
  void ReleaseSharedImage();
  // This side's image and segment, once the server has detached from it or never attached.
  void FreeSharedImage();
  void PresentShared(const uint8_t* pixels, int stride, const std::vector<PixelRect>& rects);
  void PresentDirect(const uint8_t* pixels, int width, int height, int stride, const std::vector<PixelRect>& rects);
  void PresentConverted(const uint8_t* pixels, int width, int height, int stride, const std::vector<PixelRect>& rects);

  Display* mDisplay;
  Window mWindow;
  Visual* mVisual;
  int mDepth;
  GC mGC = nullptr;
  bool mShmAvailable = false;
  int mCompletionType = -1;
  bool mShmPending = false;
  XShmSegmentInfo mShmInfo{};
  XImage* mShmImage = nullptr;
};

} // namespace plug::gfx
