#include "support/change_seam.h"

#include "platform/files.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// Makes each change as it comes.
class DirectChanges final : public WorkstationChanges {
 public:
  bool WriteFile(const QString&, const QString&, const std::function<bool()>& write) override { return write(); }
  bool CreateFolder(const QString& folder) override { return platform::CreateDirectoryTree(toW(folder)); }
  bool SetRegistryValue(int, const QString&, const QString&, const QString&,
                        const std::function<bool()>& write) override {
    return write();
  }
  PrintListStore StorePrintList(const QString&, const QString&, const std::function<PrintListStore()>&,
                                const std::function<PrintListStore()>& store) override {
    return store();
  }
  void KeepChanges() override {}
};

DirectChanges gDirect;
WorkstationChanges* gDoor = &gDirect;

}  // namespace

bool WorkstationAction::changes() const {
  switch (kind) {
    case Kind::ReplaceFile:
    case Kind::CopyFile:
    case Kind::CreateFile:
    case Kind::CreateFolder:
    case Kind::AddList:
    case Kind::UndoEarlierRun:
      return true;
    case Kind::SetValue: return before.isNull() || before != after;
    case Kind::UpdateList: return !sameText;
    default: return false;
  }
}

QString ActionKindName(WorkstationAction::Kind kind) {
  using Kind = WorkstationAction::Kind;
  switch (kind) {
    case Kind::ReplaceFile: return QStringLiteral("replace");
    case Kind::CopyFile: return QStringLiteral("copy");
    case Kind::CreateFile: return QStringLiteral("create");
    case Kind::CreateFolder: return QStringLiteral("create-folder");
    case Kind::SetValue: return QStringLiteral("set-value");
    case Kind::AddList: return QStringLiteral("add-list");
    case Kind::UpdateList: return QStringLiteral("update-list");
    case Kind::UndoEarlierRun: return QStringLiteral("undo-earlier-run");
    case Kind::Question: return QStringLiteral("question");
    case Kind::KeepFile: return QStringLiteral("keep");
    case Kind::FileInUse: return QStringLiteral("in-use");
    case Kind::Refused: return QStringLiteral("refused");
    case Kind::CompanyReached: return QStringLiteral("company-reached");
    case Kind::CompanyUnreachable: return QStringLiteral("company-unreachable");
    case Kind::Failure: return QStringLiteral("failure");
  }
  return {};
}

QString JournalFolder() { return QStringLiteral("C:\\ProgramData\\Kelvaro\\"); }
QString JournalPath() { return JournalFolder() + QStringLiteral("journal.txt"); }

WorkstationChanges& Changes() { return *gDoor; }

WorkstationChanges* SetChanges(WorkstationChanges* door) {
  WorkstationChanges* previous = gDoor == &gDirect ? nullptr : gDoor;
  gDoor = door ? door : &gDirect;
  return previous;
}

}  // namespace kelvaro
