#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plug {

// The VST 2 program (.fxp) and bank (.fxb) files: reading, checking and writing, for the plug-in
// and for hosts of it alike. All fields are big-endian; four-character tags are stored in reading
// order. The parameter forms ("FxCk", "FxBk") carry one normalised float per parameter, the chunk
// forms ("FPCh", "FBCh") an opaque block for plug-ins that keep their state as chunks.
//
// A file is checked as a whole, against the plug-in it is meant for, before anything is handed
// out: sizes are compared with the file's length before anything is allocated for them, so no
// header can make a reader allocate more than the file holds.
class IPresetFile
{
public:
  // Files larger than this are refused before they are read.
  static constexpr std::size_t kMaxFileSize = 4u << 20;
  // A program record in the parameter form up to its values, and a bank up to its programs.
  static constexpr std::size_t kProgramHeaderSize = 56;
  static constexpr std::size_t kBankHeaderSize = 156;
  // The name field, which need not hold a terminator.
  static constexpr std::size_t kNameSize = 28;

  // What a file must fit: the plug-in's identifier, its number of parameters (every record of a
  // bank holds exactly as many) and of programs (the bank's current program must be one of them).
  struct Target
  {
    int32_t uniqueID = 0;
    int nParams = 0;
    int nPrograms = 0;
  };

  struct Program
  {
    std::string name;           // at most kNameSize bytes
    std::vector<double> values; // parameter form: normalised, clamped into 0..1; fewer or more than
                                // the plug-in's parameters are allowed in a program file
    std::vector<uint8_t> chunk; // chunk form
    bool isChunk = false;
  };

  struct Bank
  {
    int currentProgram = 0;
    // Parameter form: the records in file order, up to the first whose tags, version or parameter
    // count are wrong. Such a record makes the bank incomplete (complete false, reason given); a
    // reader applies the records before it and reports failure.
    std::vector<Program> programs;
    bool complete = true;
    std::vector<uint8_t> chunk; // chunk form
    bool isChunk = false;
  };

  // [any] Parse a whole file. False, with a one-line reason when asked for one and out untouched, for a
  // file that is truncated or longer than it declares, of another kind or plug-in, of another
  // format version (programs), with a value that is not a finite number, or (banks) with a current
  // program that is not one of the plug-in's. Finite values outside 0..1 are clamped into it.
  static bool ParseProgram(const uint8_t* data, std::size_t size, const Target& target, Program& out,
                           std::string* reason = nullptr);
  static bool ParseBank(const uint8_t* data, std::size_t size, const Target& target, Bank& out,
                        std::string* reason = nullptr);

  // [any] Reads the whole regular file at path. False (with a reason when asked) for a file that is
  // missing, unreadable, not a regular file or larger than kMaxFileSize (checked before reading,
  // and again while reading in case it grows).
  static bool ReadFile(const char* path, std::vector<uint8_t>& bytes, std::string* reason = nullptr);

  // [any] Appends a program record in the parameter form: the name cut to 27 bytes between UTF-8
  // characters and zero-padded, the version in its decimal form.
  static void AppendProgram(std::vector<uint8_t>& out, int32_t uniqueID, int32_t packedVersion, const char* name,
                            const std::vector<float>& normalizedValues);
  // [any] Appends a bank header in the parameter form; nPrograms program records must follow.
  static void AppendBankHeader(std::vector<uint8_t>& out, int32_t uniqueID, int32_t packedVersion, int nPrograms,
                               int currentProgram);
};

} // namespace plug
