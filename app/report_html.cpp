#include "app/report.h"

namespace ferrule::detail {

std::unique_ptr<ReportWriter> htmlReport(const ReportOptions&) {
    return nullptr;
}

}  // namespace ferrule::detail
