#include "plug/LV2Protocol.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/ui/ui.h>

#include <cstring>

#include "plug/IPluginBase.h"

namespace plug::lv2 {

namespace {

constexpr int TextSize(int characters)
{
  return 4 + characters;
}

// A Session object's atoms around its chunk: the object's header and body, the property's key and
// context, the chunk's header.
constexpr uint32_t kSessionOverhead = sizeof(LV2_Atom_Object) + sizeof(LV2_Atom_Property_Body);

} // namespace

int MaxSessionSize(int nParams, int nPresets)
{
  const int nameSize = TextSize(IPresetEntry::kMaxNameLength - 1);
  const int stateSize = 8 * nParams;
  return 8 + 4 + 4 + nameSize + nPresets * (nameSize + 1 + stateSize) + stateSize;
}

int MessageBufferSize(int nParams, int nPresets)
{
  const int needed = static_cast<int>(sizeof(LV2_Atom_Sequence) + sizeof(LV2_Atom_Event) + kSessionOverhead) +
      MaxSessionSize(nParams, nPresets) + 8;
  int size = 4096;
  while (size < needed)
    size *= 2;
  return size;
}

bool URIDs::Map(const LV2_URID_Map* map, const std::string& pluginURI)
{
  *this = URIDs();
  if (!map || !map->map)
    return false;
  const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
  atomSequence = id(LV2_ATOM__Sequence);
  atomObject = id(LV2_ATOM__Object);
  atomBlank = id(LV2_ATOM__Blank);
  atomChunk = id(LV2_ATOM__Chunk);
  atomInt = id(LV2_ATOM__Int);
  atomFloat = id(LV2_ATOM__Float);
  atomEventTransfer = id(LV2_ATOM__eventTransfer);
  maxBlockLength = id(LV2_BUF_SIZE__maxBlockLength);
  scaleFactor = id(LV2_UI__scaleFactor);
  sessionKey = id((pluginURI + kSessionKeyFragment).c_str());
  programKey = id((pluginURI + kProgramKeyFragment).c_str());
  session = id((pluginURI + kSessionFragment).c_str());
  request = id((pluginURI + kRequestFragment).c_str());
  return Mapped();
}

Message ReadMessage(const LV2_Atom* atom, const URIDs& urids)
{
  Message message;
  if (!atom || !urids.Mapped() || (atom->type != urids.atomObject && atom->type != urids.atomBlank) ||
      atom->size < sizeof(LV2_Atom_Object_Body))
    return message;
  const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
  if (object->body.otype == urids.request)
  {
    message.kind = Message::EKind::kRequest;
    return message;
  }
  if (object->body.otype != urids.session)
    return message;
  // The properties, each checked to lie within the object before it is read.
  const auto* begin = reinterpret_cast<const uint8_t*>(&object->body);
  const uint8_t* end = begin + object->atom.size;
  const uint8_t* at = begin + sizeof(LV2_Atom_Object_Body);
  while (at + sizeof(LV2_Atom_Property_Body) <= end)
  {
    const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(at);
    const uint8_t* value = at + sizeof(LV2_Atom_Property_Body);
    if (property->value.size > static_cast<uint32_t>(end - value))
      break;
    if (property->key == urids.sessionKey && property->value.type == urids.atomChunk)
    {
      message.kind = Message::EKind::kSession;
      message.bytes = value;
      message.size = property->value.size;
      return message;
    }
    at = value + lv2_atom_pad_size(property->value.size);
  }
  return message;
}

uint32_t WriteMessage(void* buffer, uint32_t capacity, const URIDs& urids, const uint8_t* bytes, uint32_t size)
{
  if (!buffer || !urids.Mapped())
    return 0;
  const bool isSession = bytes != nullptr;
  const uint32_t bodySize =
      sizeof(LV2_Atom_Object_Body) + (isSession ? sizeof(LV2_Atom_Property_Body) + lv2_atom_pad_size(size) : 0);
  const uint32_t total = sizeof(LV2_Atom) + bodySize;
  if (total > capacity)
    return 0;
  auto* object = static_cast<LV2_Atom_Object*>(buffer);
  object->atom.type = urids.atomObject;
  object->atom.size = bodySize;
  object->body.id = 0;
  object->body.otype = isSession ? urids.session : urids.request;
  if (isSession)
  {
    auto* property = reinterpret_cast<LV2_Atom_Property_Body*>(object + 1);
    property->key = urids.sessionKey;
    property->context = 0;
    property->value.type = urids.atomChunk;
    property->value.size = size;
    auto* value = reinterpret_cast<uint8_t*>(property + 1);
    std::memcpy(value, bytes, size);
    std::memset(value + size, 0, lv2_atom_pad_size(size) - size);
  }
  return total;
}

SequenceWriter::SequenceWriter(LV2_Atom_Sequence* sequence, const URIDs& urids)
  : mURIDs(urids)
{
  if (!sequence || !urids.Mapped())
    return;
  mSequence = sequence;
  mCapacity = sequence->atom.size;
  sequence->atom.type = urids.atomSequence;
  sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
  sequence->body.unit = 0;
  sequence->body.pad = 0;
}

bool SequenceWriter::AppendMessage(const uint8_t* bytes, uint32_t size)
{
  if (!mSequence || mSequence->atom.size + sizeof(LV2_Atom_Event) > mCapacity)
    return false;
  auto* event = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<uint8_t*>(&mSequence->body) + mSequence->atom.size);
  const uint32_t room = mCapacity - mSequence->atom.size - static_cast<uint32_t>(sizeof(LV2_Atom_Event::time));
  const uint32_t written = WriteMessage(&event->body, room, mURIDs, bytes, size);
  if (written == 0)
    return false;
  event->time.frames = 0;
  mSequence->atom.size += lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Event::time)) + written);
  return true;
}

} // namespace plug::lv2
