#pragma once

// A picture as filled and stroked paths: what the build makes of an SVG file
// (resources/svg_to_paths.py, which describes the bytes). The drawing layer draws it with its own
// path operations, so no SVG parser is loaded into the host's process.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace plug::gfx {

class PathPicture
{
public:
  enum class ECommand : char
  {
    kMove = 'M',      // x y
    kLine = 'L',      // x y
    kQuadratic = 'Q', // cx cy x y
    kCubic = 'C',     // c1x c1y c2x c2y x y
    kClose = 'Z',
  };

  struct Paint
  {
    uint8_t r = 0, g = 0, b = 0;
    double opacity = 0.0; // 0..1
  };

  // One shape in its own coordinates; transform (xx, yx, xy, yy, x0, y0) places it in the picture.
  struct Shape
  {
    bool filled = false;
    bool stroked = false;
    bool evenOdd = false;
    uint8_t cap = 0;  // 0 butt, 1 round, 2 square
    uint8_t join = 0; // 0 miter, 1 round, 2 bevel
    Paint fill, stroke;
    double strokeWidth = 0.0;
    double miterLimit = 4.0;
    double transform[6] = {1.0, 0.0, 0.0, 1.0, 0.0, 0.0};
    std::vector<ECommand> commands;
    std::vector<double> coordinates; // in the order the commands take them
  };

  // [any] The picture held in bytes, or nullptr when they are not path data of this version or are
  // cut short, inconsistent or not finite (an SVG file's text among them).
  static std::shared_ptr<const PathPicture> Decode(std::span<const unsigned char> bytes);

  // The picture's size in pixels, above 0.
  double Width() const { return mWidth; }
  double Height() const { return mHeight; }
  const std::vector<Shape>& Shapes() const { return mShapes; }

  // The number of coordinates a command takes.
  static int Arity(ECommand command);

private:
  double mWidth = 0.0;
  double mHeight = 0.0;
  std::vector<Shape> mShapes;
};

} // namespace plug::gfx
