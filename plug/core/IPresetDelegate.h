#pragma once

// What the editor's preset strip, help button and about box ask of the plug-in, and nothing more:
// the program list and the name the strip shows, the commands that change them, program and bank
// files, the about box, and what the about box shows.
//
// A plug-in whose editor shares its process implements it over its own program store. A binding
// whose editor runs apart from the processing side implements it on the editor's side, over a
// mirror of the program store that messages keep up to date: so nothing here hands out the store
// itself or waits for the processing side. Commands return nothing, or a result the editor's side
// knows (files are read and written there).
//
// Threads: [main] throughout, the editor's thread.

#include <cstdint>
#include <string>

namespace plug {

// How a program or bank file command ended; the editor tells the user why one failed.
enum class EPresetFileResult
{
  kDone,
  kUnreadable,    // the file cannot be read
  kNotThisPlugin, // read, but not a program (or bank) of this plug-in; nothing changed
  kUnwritable     // the file could not be written; any file of that name is as it was
};

class IPresetDelegate
{
public:
  virtual ~IPresetDelegate() = default;

  // --- The program list ---

  virtual int NPresets() const = 0;
  virtual int GetCurrentPresetIdx() const = 0;
  // The program's name, "" outside the list.
  virtual std::string GetPresetName(int idx) const = 0;
  // The name the strip shows: the current program's, or the one the last modify gave.
  virtual std::string GetCurrentPresetName() const = 0;
  // A number that grows whenever the shown name is set: the strip copies the name again only
  // when it moved.
  virtual uint64_t GetPresetNameVersion() const = 0;

  // --- Commands ---

  // The program at idx, brought within the list, becomes current with its stored values, and the
  // host is told.
  virtual void SetCurrentPreset(int idx) = 0;
  // The current program's stored values come back.
  virtual void RestoreCurrentPreset() = 0;
  // The current program takes the current values, and name when it is not empty; the shown name
  // becomes the program's.
  virtual void ModifyThisPreset(const char* name) = 0;
  // False when there is no about box to show.
  virtual bool ShowAboutBox() = 0;

  // --- Program (".fxp") and bank (".fxb") files, at the path the user chose ---

  // The file's values become the current program's.
  virtual EPresetFileResult LoadProgramFile(const char* path) = 0;
  // The current values under the current program's name.
  virtual EPresetFileResult SaveProgramFile(const char* path) = 0;
  // Every program of the file into its slot, then the file's current program.
  virtual EPresetFileResult LoadBankFile(const char* path) = 0;
  // Every program as stored, and which is current.
  virtual EPresetFileResult SaveBankFile(const char* path) = 0;

  // --- What the about box shows ---

  // The plug-in's version, "1.0.4".
  virtual std::string GetVersionText() const = 0;
  // The binding the host loaded the plug-in through, as users know it: "VST 2".
  virtual const char* GetBindingName() const = 0;
};

} // namespace plug
