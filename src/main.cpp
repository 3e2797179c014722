// logsplit entry point: creates the conversion state and the application
// object, reads the command line and the stored custom arguments, resolves
// the names and runs the conversion. The run's status is the exit code.
#include <new>

#include "app/application.h"
#include "dat/conv_state.h"

int main(int argc, char** argv) {
  ConvState* cs = new (std::nothrow) ConvState();
  if (cs == nullptr) return status::kNoMemory;
  Application* app = new (std::nothrow) Application();
  if (app == nullptr) {
    delete cs;
    return status::kNoMemory;
  }
  app->SetMessageCallback(DefaultMessageCallback, nullptr);
  app->SetProgressCallback(DefaultProgressCallback, 0, 0);

  Status st = status::kOk;
  if (argc < 2) {
    Application::PrintUsage(false);
  } else {
    st = app->ParseArguments(argc, argv, true);
    if (st == status::kOk && !app->usagePrinted) st = app->ApplyRegistryArguments();
    if (st == status::kOk && !app->usagePrinted) st = app->ResolveOutputName();
    if (st == status::kOk && !app->usagePrinted) st = app->RunConversion(*cs);
    if (app->usagePrinted) st = status::kOk;
  }

  delete cs;
  delete app;
  return st;
}
