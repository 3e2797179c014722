// Placeholder until the MES report is built.
#include "report/mes_report.h"
Status WriteMesReport(ConvState&, FILE* mes, const char*, const char*) {
  return mes == nullptr ? status::kMesNotOpen : status::kOk;
}
