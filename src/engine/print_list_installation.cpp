// TdmUpdateCommon::InstallPrintLists: the carried print lists installed into
// every company's database.
//
// This build carries no print-list storage yet, so there is nothing to
// install: every product row gets urtOk and nothing is written, exactly as
// for a product without print lists.
#include "engine/update_common.h"

namespace kelvaro {

TUpdateResultType TdmUpdateCommon::InstallPrintLists(const QString&) { return urtOk; }

}  // namespace kelvaro
