// The usage text, printed directly on standard output.
#include <cstdio>

#include "app/application.h"
#include "k01lib/k01_decoder.h"

void Application::PrintUsage(bool extended) {
  char libraryVersion[32];
  std::snprintf(libraryVersion, sizeof libraryVersion, "%d.%02d ", k01::kVersionMajor,
                k01::kVersionMinor);

  std::printf("\n");
  std::printf("logsplit - Utility to unpack Veltor Q00\\K00\\K01\\K02 files, %s ( k01lib %s)\n",
              kProgramVersionText, libraryVersion);
  std::printf("\n");
  std::printf(
      "usage: logsplit [-deimacfv] [-sfile] [-x[ehi*]] [-tfmt] [-n[!]] [-u0|1] "
      "src[+s2+s3+..+sn] [@file] [out]\n");
  // The second usage line has no line end of its own: the line end that
  // follows ends it in the extended form and is an empty line otherwise.
  if (extended) std::printf("                [-k[filter]] [-g] [-o[+]] [-RNav,Sig] [-Wweek]");
  std::printf("\n");
  std::printf(" @file      file with list of files to be concatenated (one per line)\n");
  std::printf(" -c         ignore checksum errors\n");
  std::printf(" -a         produce APP file (when possible)\n");
  std::printf(" -d         produce DAT file\n");
  std::printf(" -e         produce EPH file\n");
  std::printf(" -i         produce ION file\n");
  std::printf(" -m         produce MES file\n");
  std::printf(" -n[!]      fix Stelo serial number, [!-unconditional]\n");
  std::printf(" -s[file]   produce Summary file\n");
  std::printf(" -f         attempt fixup if possible\n");
  std::printf(" -u[0|1]    update file name [0-dft, 1-station]\n");
  std::printf(" -v         verbose\n");
  std::printf(" -x[ehi*]   exclude initial: e-eph, h-header, i-ionutc, *-all\n");
  std::printf(" -tfmt      format type of file (fmt=q00,k00,k01,k02)\n");
  if (extended) {
    std::printf(" -k[FILTER] remove new record types flags\n");
    std::printf(" -l2c[+]    use l2c if both l2c and l2e exist (+ = preferred)\n");
    std::printf(" -l2e[+]    use l2e if both l2c and l2e exist (+ = preferred)\n");
    std::printf(" -g         use type 27 (if it exists)\n");
    std::printf(" -o[+]      convert type 27 to 17, no type 28 (+ use 17,27,28)\n");
    std::printf(" -R         override NAV and SIG versions\n");
    std::printf(" -W         set GPS week to specified value\n");
  }
  std::printf("\n");
  std::printf("examples: logsplit -d gs00233a\n");
  std::printf("          logsplit -dev gs00233a gnew233a\n");
  std::printf("          logsplit -deimv gs00233a c:\\new\\gs00233a\n");
  std::printf("          logsplit -de c:\\old\\gs00233a c:\\new\\gs00233a\n");
  std::printf("          logsplit -demv gs00233a+gs00233b+gs00233c comb2330\n");
  std::printf("          logsplit -demv @q00.lst comb2330\n");
  std::printf("\n");
  std::fflush(stdout);
}
