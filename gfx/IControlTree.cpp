#include "gfx/IControlTree.h"

#include "gfx/IBubbleControl.h"
#include "gfx/IControl.h"
#include "gfx/ICornerResizerControl.h"
#include "gfx/IFPSDisplayControl.h"
#include "gfx/INoticeControl.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ITextEntryControl.h"

namespace plug::gfx {

namespace {

// Takes the control into an empty slot; keeps what the slot holds otherwise.
template <typename T>
T* Place(std::unique_ptr<T>& slot, std::unique_ptr<T> control)
{
  if (slot || !control)
    return nullptr;
  slot = std::move(control);
  return slot.get();
}

} // namespace

IControlTree::IControlTree() = default;

IControlTree::~IControlTree()
{
  Clear();
}

// --- The list ---

void IControlTree::Append(IControl* control)
{
  if (control)
    mControls.emplace_back(control);
}

void IControlTree::Prepend(IControl* control)
{
  if (control)
    mControls.emplace(mControls.begin(), control);
}

IControl* IControlTree::ReleaseWithTag(int tag)
{
  for (auto it = mControls.begin(); it != mControls.end(); ++it)
  {
    if ((*it)->GetTag() != tag)
      continue;
    IControl* control = it->release();
    mControls.erase(it);
    return control;
  }
  return nullptr;
}

bool IControlTree::Erase(const IControl* control)
{
  const int idx = IndexOf(control);
  if (idx < 0)
    return false;
  mControls.erase(mControls.begin() + idx);
  return true;
}

void IControlTree::Clear()
{
  mPopupMenu.reset();
  mNotice.reset();
  mTextEntry.reset();
  mCornerResizer.reset();
  mPerfDisplay.reset();
  while (!mBubbles.empty())
    mBubbles.pop_back();
  while (!mControls.empty())
    mControls.pop_back();
}

IControl* IControlTree::Get(int idx) const
{
  if (idx < 0 || idx >= NControls())
    return nullptr;
  return mControls[static_cast<std::size_t>(idx)].get();
}

IControl* IControlTree::GetWithTag(int tag) const
{
  for (const auto& control : mControls)
    if (control->GetTag() == tag)
      return control.get();
  return nullptr;
}

int IControlTree::IndexOf(const IControl* control) const
{
  for (int i = 0; control && i < NControls(); ++i)
    if (mControls[static_cast<std::size_t>(i)].get() == control)
      return i;
  return -1;
}

// --- Special controls ---

ICornerResizerControl* IControlTree::SetCornerResizer(std::unique_ptr<ICornerResizerControl> control)
{
  return Place(mCornerResizer, std::move(control));
}

IPopupMenuControl* IControlTree::SetPopupMenu(std::unique_ptr<IPopupMenuControl> control)
{
  return Place(mPopupMenu, std::move(control));
}

INoticeControl* IControlTree::SetNotice(std::unique_ptr<INoticeControl> control)
{
  return Place(mNotice, std::move(control));
}

ITextEntryControl* IControlTree::SetTextEntry(std::unique_ptr<ITextEntryControl> control)
{
  return Place(mTextEntry, std::move(control));
}

IFPSDisplayControl* IControlTree::SetPerfDisplay(std::unique_ptr<IFPSDisplayControl> control)
{
  return Place(mPerfDisplay, std::move(control));
}

void IControlTree::ErasePerfDisplay()
{
  mPerfDisplay.reset();
}

IBubbleControl* IControlTree::AddBubble(std::unique_ptr<IBubbleControl> control)
{
  if (!control)
    return nullptr;
  mBubbles.push_back(std::move(control));
  return mBubbles.back().get();
}

// --- Walks ---

int IControlTree::NAll() const
{
  return NControls() + (mPerfDisplay ? 1 : 0) + (mCornerResizer ? 1 : 0) + (mTextEntry ? 1 : 0) + (mPopupMenu ? 1 : 0) +
      (mNotice ? 1 : 0) + static_cast<int>(mBubbles.size());
}

IControl* IControlTree::GetAny(int i) const
{
  if (i < 0)
    return nullptr;
  if (i < NControls())
    return Get(i);
  i -= NControls();
  IControl* const specials[] = {mPerfDisplay.get(), mCornerResizer.get(), mTextEntry.get(), mPopupMenu.get(),
                                mNotice.get()};
  for (IControl* special : specials)
  {
    if (!special)
      continue;
    if (i == 0)
      return special;
    --i;
  }
  return i < static_cast<int>(mBubbles.size()) ? mBubbles[static_cast<std::size_t>(i)].get() : nullptr;
}

bool IControlTree::LinkedToParam(const IControl& control, int paramIdx)
{
  return control.LinkedToParam(paramIdx) > -1;
}

bool IControlTree::GroupIs(const IControl& control, const char* group)
{
  const std::string& g = control.GetGroup();
  return !g.empty() && g == group;
}

} // namespace plug::gfx
