// quillon-ir-plot: draws the impulse response of the reverb engine into a PNG
// (waveform of the first half second, and the decay envelope in dB).
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "checks/ThreadChecks.h"
#include "dsp/dsp.h"
#include "effect/FactoryPresets.h"

using quillon::TReverb;

namespace {
// "Large Hall" unless the command line gives other values.
struct Settings
{
  double rate = 48000.0, decay = quillon::FactoryPreset("Large Hall").decay,
         width = quillon::FactoryPreset("Large Hall").width, color = quillon::FactoryPreset("Large Hall").color,
         seconds = 8.0;
};

void Response(const Settings& s, std::vector<double>& left, std::vector<double>& right)
{
  TReverb reverb;
  reverb.SetSampleRate(s.rate);
  reverb.SetParam(TReverb::kDecay, s.decay);
  reverb.SetParam(TReverb::kWidth, s.width);
  reverb.SetParam(TReverb::kColor, s.color);
  reverb.SetParam(TReverb::kMix, 100.0); // wet only
  const int frames = static_cast<int>(s.seconds * s.rate);
  left.assign(frames, 0.0);
  right.assign(frames, 0.0);
  left[0] = right[0] = 1.0;
  double* io[2] = {left.data(), right.data()};
  const checks::ProcessingScope processing; // the whole response as one processing call
  reverb.ProcessBlock(io, io, frames);
}

void Label(cairo_t* cr, double x, double y, const std::string& text, double size = 13.0)
{
  cairo_set_font_size(cr, size);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
}

void Frame(cairo_t* cr, double x, double y, double w, double h)
{
  cairo_set_source_rgb(cr, 0.18, 0.21, 0.23);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

void Waveform(cairo_t* cr, const std::vector<double>& v, int frames, double x, double y, double w, double h,
              double peak, double r, double g, double b)
{
  cairo_set_source_rgba(cr, r, g, b, 0.85);
  cairo_set_line_width(cr, 1.0);
  const int columns = static_cast<int>(w);
  for (int c = 0; c < columns; ++c)
  {
    const int from = c * frames / columns, to = std::max(from + 1, (c + 1) * frames / columns);
    double lo = 0, hi = 0;
    for (int i = from; i < to; ++i)
    {
      lo = std::min(lo, v[i]);
      hi = std::max(hi, v[i]);
    }
    cairo_move_to(cr, x + c + 0.5, y + h / 2 - hi / peak * h / 2);
    cairo_line_to(cr, x + c + 0.5, y + h / 2 - lo / peak * h / 2 + 0.5);
  }
  cairo_stroke(cr);
}

void Envelope(cairo_t* cr, const std::vector<double>& l, const std::vector<double>& rr, double rate, double x, double y,
              double w, double h, double floorDb)
{
  const int window = static_cast<int>(rate * 0.01);
  const int frames = static_cast<int>(l.size());
  cairo_set_source_rgb(cr, 0.20, 0.60, 0.86);
  cairo_set_line_width(cr, 1.5);
  bool started = false;
  for (int start = 0; start + window <= frames; start += window)
  {
    double sum = 0;
    for (int i = start; i < start + window; ++i)
      sum += l[i] * l[i] + rr[i] * rr[i];
    const double db = std::max(floorDb, 10.0 * std::log10(sum / (2.0 * window) + 1e-300));
    const double px = x + w * start / frames, py = y + h * (db / floorDb);
    started ? cairo_line_to(cr, px, py) : cairo_move_to(cr, px, py);
    started = true;
  }
  cairo_stroke(cr);
}
} // namespace

int main(int argc, char** argv)
{
  if (argc < 2)
  {
    std::fprintf(stderr, "usage: quillon-ir-plot OUT.png [DECAY WIDTH COLOR]\n");
    return 2;
  }
  Settings s;
  if (argc >= 5)
  {
    s.decay = std::atof(argv[2]);
    s.width = std::atof(argv[3]);
    s.color = std::atof(argv[4]);
  }
  s.seconds = std::clamp(2.0 * s.decay, 2.0, 20.0);
  std::vector<double> left, right;
  Response(s, left, right);

  const int width = 900, height = 520;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.11, 0.12, 0.13);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
  char title[200];
  std::snprintf(title, sizeof title,
                "QuillonMini impulse response: Decay %g s, Width %g %%, Color %g, 100 %% wet, %g Hz", s.decay, s.width,
                s.color, s.rate);
  Label(cr, 20, 28, title, 15);

  const double px = 60, pw = width - 80;
  Frame(cr, px, 50, pw, 170);
  double peak = 1e-9;
  const int shown = static_cast<int>(0.5 * s.rate);
  for (int i = 0; i < shown; ++i)
    peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
  Waveform(cr, right, shown, px, 50, pw, 170, peak, 0.93, 0.55, 0.25);
  Waveform(cr, left, shown, px, 50, pw, 170, peak, 0.35, 0.70, 0.95);
  cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
  Label(cr, px, 238, "first 0.5 s, left (blue) and right (orange)", 12);

  const double ey = 270, eh = 210, floorDb = -120.0;
  Frame(cr, px, ey, pw, eh);
  cairo_set_source_rgb(cr, 0.35, 0.38, 0.40);
  cairo_set_line_width(cr, 0.5);
  for (int db = -20; db >= -100; db -= 20)
  {
    const double y = ey + eh * (db / floorDb);
    cairo_move_to(cr, px, y);
    cairo_line_to(cr, px + pw, y);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
    Label(cr, 15, y + 4, std::to_string(db) + " dB", 11);
    cairo_set_source_rgb(cr, 0.35, 0.38, 0.40);
  }
  // Where an ideal exponential decay of the set decay time would be 60 dB down.
  const double marker = px + pw * std::min(1.0, s.decay / s.seconds);
  cairo_set_source_rgb(cr, 0.86, 0.35, 0.35);
  cairo_move_to(cr, marker, ey);
  cairo_line_to(cr, marker, ey + eh);
  cairo_stroke(cr);
  Envelope(cr, left, right, s.rate, px, ey, pw, eh, floorDb);
  cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
  char axis[160];
  std::snprintf(axis, sizeof axis, "energy in 10 ms windows over %g s; red line: the decay time (%g s)", s.seconds,
                s.decay);
  Label(cr, px, ey + eh + 20, axis, 12);

  cairo_destroy(cr);
  const cairo_status_t status = cairo_surface_write_to_png(surface, argv[1]);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS)
  {
    std::fprintf(stderr, "quillon-ir-plot: cannot write %s: %s\n", argv[1], cairo_status_to_string(status));
    return 1;
  }
  return 0;
}
