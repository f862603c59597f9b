// The program's file class: what every format shares above the binary file, and the static
// file-type services — the type table, candidate types of a path, content probing and the
// creation of the file object for a type.
//
// Formats register themselves from their own source with one line, for example
//   static const CTessFile::CRegistrar kRegistrar({1, 2, 4, 5}, &CTSCrystalFile::Recognise,
//                                                 &CTSCrystalFile::Create);
// The probe and the factory may each be null; the latest registration of a type id wins.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crystal/crystal.h"
#include "files/vhfile.h"

struct CObservedData;
struct CSession;

// One structure of a file, with the name the file gives it (a CIF data block's), empty where the
// format holds one structure only.
struct CNamedCrystal {
  CTSCrystal crystal;
  std::string name;
};

// One row of the file type table.
struct CTessFileType {
  unsigned id = 0;
  std::array<std::string_view, 5> extensions{};  // without the dot; unused slots empty
  std::string_view filterText;                   // empty for export types
  std::string_view defaultName;
  std::string_view registeredName;
  // False for the sibling product's listings (17, 18): their dialogs filter other
  // extensions, so their "txt" does not make them candidates for a file on disc.
  bool matchedByExtension = true;
};

class CTessFile : public CVHFile {
 public:
  static constexpr unsigned kUnknownType = 0;

  // Recognises a file's content: its type id, or 0. Opens the file read-only itself.
  using CProbe = unsigned (*)(const std::string& path);
  // The file object for a type id, or nullptr for ids the format does not serve.
  using CFactory = std::unique_ptr<CTessFile> (*)(unsigned typeId);

  explicit CTessFile(unsigned kind = kUnknownType) { SetKind(kind); }

  // Reading into and writing from the model, for an open file: each format overrides what it
  // serves; the others refuse with CVHXFileUnsupportedType.
  virtual void ReadCrystal(CTSCrystal& crystal);
  // Every structure the file holds; one, unnamed, unless the format holds several.
  virtual std::vector<CNamedCrystal> ReadCrystals();
  virtual void WriteCrystal(const CTSCrystal& crystal, std::string_view title);
  virtual void ReadObservedData(CObservedData& data);
  // A whole session: `session` is replaced only once everything has been read, keeping what the
  // file does not hold of its window state and plot specification.
  virtual void ReadSession(CSession& session);
  virtual void WriteSession(const CSession& session);

  // The row of a type id, or nullptr.
  static const CTessFileType* TypeInfo(unsigned typeId);
  // The extensions of a type, each with its leading dot.
  static std::vector<std::string> Extensions(unsigned typeId);
  // Every type whose extensions hold the path's extension (any case), in table order.
  static std::vector<unsigned> CandidateTypes(const std::string& path);
  static bool IsMoleculeType(unsigned typeId);
  // The type of a file on disc, 0 when it does not exist or no format can take it. A single
  // candidate by extension is taken without reading unless `forceContentCheck`.
  static unsigned DetermineType(const std::string& path, bool forceContentCheck = false);
  // The file object for a type id, kind set; nullptr when no format serves it.
  static std::unique_ptr<CTessFile> Create(unsigned typeId);

  // A factory for formats whose class serves its ids with a default constructor.
  template <class F>
  static std::unique_ptr<CTessFile> Make(unsigned typeId) {
    auto file = std::make_unique<F>();
    file->SetKind(typeId);
    return file;
  }

  // Keeps a format's probe and factory registered for its type ids while it lives.
  class CRegistrar {
   public:
    CRegistrar(std::initializer_list<unsigned> typeIds, CProbe probe, CFactory factory);
    CRegistrar(const CRegistrar&) = delete;
    CRegistrar& operator=(const CRegistrar&) = delete;
    ~CRegistrar();

   private:
    uint64_t m_handle;
  };
};
