#include "tools/EditorSession.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "effect/HeadlessEditor.h"
#include "gfx/IPopupMenuControl.h"
#include "plug/core/Timer.h"

using namespace plug::gfx;

namespace {

int64_t gNowMs = 0;

// Numbers separated by commas, exactly count of them.
bool ParseNumbers(const std::string& text, std::size_t count, std::vector<float>& numbers)
{
  numbers.clear();
  const char* p = text.data();
  const char* end = p + text.size();
  while (p <= end && numbers.size() < count)
  {
    float value = 0.f;
    const auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || !std::isfinite(value))
      return false;
    numbers.push_back(value);
    p = next;
    if (p == end)
      break;
    if (*p != ',')
      return false;
    ++p;
  }
  return numbers.size() == count && p == end;
}

} // namespace

EditorSession::EditorSession(audioMasterCallback host)
{
  gNowMs = 0;
  plug::RunLoop::SetClock(&EditorSession::Now);
  plug::InstanceInfo info;
  info.mVSTHostCallback = host;
  mPlugin = std::make_unique<quillon::TQuillonMini>(info);
  quillon::UseHeadlessEditor(*mPlugin);
}

EditorSession::~EditorSession()
{
  Close();
  mPlugin.reset();
  plug::RunLoop::SetClock(nullptr);
}

int64_t EditorSession::Now()
{
  return gNowMs;
}

ISurfaceHeadless& EditorSession::UI()
{
  return static_cast<ISurfaceHeadless&>(*mPlugin->GetUI());
}

bool EditorSession::Open()
{
  return mPlugin->OpenWindow(nullptr) != nullptr;
}

void EditorSession::Close()
{
  if (IsOpen())
    mPlugin->CloseWindow();
}

void EditorSession::Frame(int ms)
{
  gNowMs += ms;
  plug::RunLoop::Pump();
  if (IsOpen())
    UI().DrawFrame();
}

void EditorSession::Frames(int n)
{
  for (int i = 0; i < n; ++i)
    Frame();
}

void EditorSession::RunFor(int ms)
{
  Frames((ms + kFrameMs - 1) / kFrameMs);
}

bool EditorSession::WritePNG(const std::string& path)
{
  if (!IsOpen())
    return false;
  UI().SetAllControlsDirty();
  UI().DrawFrame();
  return UI().WritePNG(path.c_str());
}

bool EditorSession::Apply(const std::string& event, std::string& error)
{
  const std::size_t colon = event.find(':');
  const std::string verb = event.substr(0, colon);
  const std::string args = colon == std::string::npos ? "" : event.substr(colon + 1);
  const auto numbers = [&](std::size_t count, std::vector<float>& out) {
    if (ParseNumbers(args, count, out))
      return true;
    error = "'" + event + "': expected " + std::to_string(count) + " numbers after '" + verb + ":'";
    return false;
  };
  if (verb == "shift" || verb == "plain")
  {
    mModifiers.S = verb == "shift";
    return true;
  }
  if (verb == "file")
  {
    if (!IsOpen())
      return error = "'file:' needs the editor open", false;
    UI().ScriptFileAnswer(args);
    return true;
  }
  if (!IsOpen())
  {
    error = "'" + event + "': the editor is not open";
    return false;
  }
  std::vector<float> n;
  IMouseMod mod = mModifiers;
  mod.L = true;
  ISurfaceHeadless& ui = UI();
  if (verb == "down" || verb == "up" || verb == "click" || verb == "dblclick" || verb == "over")
  {
    if (!numbers(2, n))
      return false;
    // A pointer passes over what it presses.
    ui.SetMouseLocation(n[0], n[1]);
    if (verb != "up")
      ui.OnMouseOver(n[0], n[1], mModifiers);
    if (verb == "down" || verb == "click" || verb == "dblclick")
      ui.OnMouseDown(n[0], n[1], mod);
    if (verb == "dblclick") // as a window delivers it: press, release, second press, release
    {
      ui.OnMouseUp(n[0], n[1], mod);
      ui.OnMouseDblClick(n[0], n[1], mod);
    }
    if (verb == "up" || verb == "click" || verb == "dblclick")
      ui.OnMouseUp(n[0], n[1], mod);
  }
  else if (verb == "drag")
  {
    if (!numbers(4, n))
      return false;
    ui.OnMouseDrag(n[0], n[1], n[2], n[3], mod);
  }
  else if (verb == "wheel")
  {
    if (!numbers(3, n))
      return false;
    ui.OnMouseWheel(n[0], n[1], mModifiers, n[2]);
  }
  else if (verb == "menu")
  {
    if (!numbers(1, n))
      return false;
    const IPopupMenuControl* menu = ui.GetPopupMenuControl();
    const IRECT item = menu ? menu->GetItemBounds(0, static_cast<int>(n[0])) : IRECT();
    if (item.Empty())
    {
      error = "'" + event + "': no open menu has that item";
      return false;
    }
    ui.OnMouseDown(item.MW(), item.MH(), mod);
    ui.OnMouseUp(item.MW(), item.MH(), mod);
  }
  else if (verb == "wait")
  {
    if (!numbers(1, n) || n[0] < 0.f)
      return false;
    RunFor(static_cast<int>(n[0]));
    return true;
  }
  else
  {
    error = "unknown event '" + event + "'";
    return false;
  }
  Frame();
  return true;
}
