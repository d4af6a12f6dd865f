#include "gfx/platform/X11Presenter.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "gfx/platform/X11ErrorTrap.h"

namespace plug::gfx {

namespace {

PixelRect Clip(const PixelRect& r, int width, int height)
{
  const int x0 = std::max(r.x, 0);
  const int y0 = std::max(r.y, 0);
  const int x1 = std::min(r.x + r.w, width);
  const int y1 = std::min(r.y + r.h, height);
  return {x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0)};
}

// One 8-bit channel placed in a visual's colour mask.
unsigned long ToMask(uint32_t channel, unsigned long mask)
{
  if (mask == 0)
    return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long value = bits >= 8 ? channel << (bits - 8) : channel >> (8 - bits);
  return (value << shift) & mask;
}

} // namespace

XImagePresenter::XImagePresenter(Display* display, Window window, Visual* visual, int depth)
  : mDisplay(display),
    mWindow(window),
    mVisual(visual),
    mDepth(depth)
{
  mGC = XCreateGC(display, window, 0, nullptr);
  int major = 0, minor = 0;
  Bool pixmaps = False;
  if (DirectLayout() && XShmQueryVersion(display, &major, &minor, &pixmaps))
  {
    mShmAvailable = true;
    mCompletionType = XShmGetEventBase(display) + ShmCompletion;
  }
}

XImagePresenter::~XImagePresenter()
{
  ReleaseSharedImage();
  if (mGC)
    XFreeGC(mDisplay, mGC);
}

bool XImagePresenter::DirectLayout() const
{
  return (mDepth == 24 || mDepth == 32) && mVisual->red_mask == 0xFF0000 && mVisual->green_mask == 0xFF00 &&
      mVisual->blue_mask == 0xFF &&
      ImageByteOrder(mDisplay) == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
}

bool XImagePresenter::EnsureSharedImage(int width, int height)
{
  if (mShmImage && mShmImage->width == width && mShmImage->height == height)
    return true;
  ReleaseSharedImage();
  mShmImage = XShmCreateImage(mDisplay, mVisual, static_cast<unsigned>(mDepth), ZPixmap, nullptr, &mShmInfo,
                              static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!mShmImage)
    return false;
  mShmInfo.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(mShmImage->bytes_per_line) * static_cast<size_t>(height),
                          IPC_CREAT | 0600);
  if (mShmInfo.shmid < 0)
  {
    FreeSharedImage();
    return false;
  }
  mShmInfo.shmaddr = mShmImage->data = static_cast<char*>(shmat(mShmInfo.shmid, nullptr, 0));
  mShmInfo.readOnly = True;
  bool attached = false;
  if (mShmInfo.shmaddr != reinterpret_cast<char*>(-1))
  {
    XErrorTrap trap(mDisplay);
    XShmAttach(mDisplay, &mShmInfo);
    attached = !trap.SyncAndCheck(); // a server on another machine refuses the segment
  }
  // Marked for removal at once: the segment goes when both sides have detached, even after a crash.
  shmctl(mShmInfo.shmid, IPC_RMID, nullptr);
  if (!attached)
    FreeSharedImage();
  return attached;
}

void XImagePresenter::ReleaseSharedImage()
{
  if (!mShmImage)
    return;
  {
    XErrorTrap trap(mDisplay);
    XShmDetach(mDisplay, &mShmInfo);
    XSync(mDisplay, False);
  }
  FreeSharedImage();
}

void XImagePresenter::FreeSharedImage()
{
  if (mShmInfo.shmaddr && mShmInfo.shmaddr != reinterpret_cast<char*>(-1))
    shmdt(mShmInfo.shmaddr);
  mShmImage->data = nullptr;
  XDestroyImage(mShmImage);
  mShmImage = nullptr;
  mShmInfo = {};
  mShmPending = false;
}

void XImagePresenter::Present(const uint8_t* pixels, int width, int height, int stride,
                              const std::vector<PixelRect>& rects)
{
  if (!pixels || width <= 0 || height <= 0 || rects.empty())
    return;
  std::vector<PixelRect> clipped;
  clipped.reserve(rects.size());
  for (const PixelRect& r : rects)
  {
    const PixelRect c = Clip(r, width, height);
    if (c.w > 0 && c.h > 0)
      clipped.push_back(c);
  }
  if (clipped.empty())
    return;

  if (mShmAvailable && !EnsureSharedImage(width, height))
    mShmAvailable = false; // refused once, refused for good: plain requests from now on
  if (mShmAvailable)
    PresentShared(pixels, stride, clipped);
  else if (DirectLayout())
    PresentDirect(pixels, width, height, stride, clipped);
  else
    PresentConverted(pixels, width, height, stride, clipped);
  XFlush(mDisplay);
}

void XImagePresenter::PresentShared(const uint8_t* pixels, int stride, const std::vector<PixelRect>& rects)
{
  // The server may still be reading the previous frame out of the segment.
  if (mShmPending)
  {
    XSync(mDisplay, False);
    mShmPending = false;
  }
  const int dstStride = mShmImage->bytes_per_line;
  for (const PixelRect& r : rects)
  {
    for (int y = r.y; y < r.y + r.h; ++y)
    {
      std::memcpy(mShmImage->data + static_cast<ptrdiff_t>(y) * dstStride + r.x * 4,
                  pixels + static_cast<ptrdiff_t>(y) * stride + r.x * 4, static_cast<size_t>(r.w) * 4);
    }
  }
  for (size_t i = 0; i < rects.size(); ++i)
  {
    const PixelRect& r = rects[i];
    const bool last = i + 1 == rects.size();
    XShmPutImage(mDisplay, mWindow, mGC, mShmImage, r.x, r.y, r.x, r.y, static_cast<unsigned>(r.w),
                 static_cast<unsigned>(r.h), last ? True : False);
  }
  mShmPending = true;
}

void XImagePresenter::PresentDirect(const uint8_t* pixels, int width, int height, int stride,
                                    const std::vector<PixelRect>& rects)
{
  // An image header over the frame itself: Xlib copies the pixels into its request buffer.
  XImage* image = XCreateImage(mDisplay, mVisual, static_cast<unsigned>(mDepth), ZPixmap, 0,
                               const_cast<char*>(reinterpret_cast<const char*>(pixels)), static_cast<unsigned>(width),
                               static_cast<unsigned>(height), 32, stride);
  if (!image)
    return;
  for (const PixelRect& r : rects)
    XPutImage(mDisplay, mWindow, mGC, image, r.x, r.y, r.x, r.y, static_cast<unsigned>(r.w),
              static_cast<unsigned>(r.h));
  image->data = nullptr; // not ours to free
  XDestroyImage(image);
}

void XImagePresenter::PresentConverted(const uint8_t* pixels, int, int, int stride, const std::vector<PixelRect>& rects)
{
  for (const PixelRect& r : rects)
  {
    XImage* image = XCreateImage(mDisplay, mVisual, static_cast<unsigned>(mDepth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(r.w), static_cast<unsigned>(r.h), 32, 0);
    if (!image)
      return;
    image->data =
        static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(r.h)));
    if (!image->data)
    {
      XDestroyImage(image);
      return;
    }
    for (int y = 0; y < r.h; ++y)
    {
      const auto* row = reinterpret_cast<const uint32_t*>(pixels + static_cast<ptrdiff_t>(r.y + y) * stride) + r.x;
      for (int x = 0; x < r.w; ++x)
      {
        const uint32_t p = row[x];
        XPutPixel(image, x, y,
                  ToMask((p >> 16) & 0xFF, mVisual->red_mask) | ToMask((p >> 8) & 0xFF, mVisual->green_mask) |
                      ToMask(p & 0xFF, mVisual->blue_mask));
      }
    }
    XPutImage(mDisplay, mWindow, mGC, image, 0, 0, r.x, r.y, static_cast<unsigned>(r.w), static_cast<unsigned>(r.h));
    XDestroyImage(image); // frees the copy
  }
}

} // namespace plug::gfx
