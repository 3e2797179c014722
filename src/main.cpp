// logsplit entry point: the program's sequence through the library
// interface. Without arguments it prints the short usage; otherwise it reads
// the command line and the stored custom arguments, resolves the names and
// runs the conversion. The run's status is the exit code.
#include "logsplit/logsplit.h"

int main(int argc, char** argv) {
  logsplit::Converter converter;
  if (!converter.IsReady()) return logsplit::status::kInsufficientMemory;
  return converter.Execute(argc, argv);
}
