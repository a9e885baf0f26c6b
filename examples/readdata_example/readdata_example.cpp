// File: examples/readdata_example/readdata_example.cpp
//
// Downloads the clock-in records of terminal 1 over the last four weeks and
// prints them as CSV (employeeid,workclass,cardedtime). The terminal is the
// built-in emulator on the virtual line, a new-model terminal holding sample
// records, so the program needs no hardware and runs in virtual time: the
// protocol's 1.8 s settle wait and 5000 ms time-outs cost nothing.
//
// Exit status: 0 with the records printed; 1 when the terminal class reports
// an error (errorcode and errormessage on stderr); 2 for a bad command line.
#include <chrono>
#include <cstdio>
#include <memory>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "terminal/n_cst_mvcomm.h"

namespace {

using mvcomm::emulator::CivilDate;

CivilDate today() {
  const auto now = std::chrono::system_clock::now();
  const auto days = std::chrono::floor<std::chrono::days>(now).time_since_epoch().count();
  return mvcomm::emulator::civilFromDays(days);
}

mvcomm::Date toDate(const CivilDate& d) { return mvcomm::Date{d.year, d.month, d.day}; }

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    std::fprintf(stderr, "usage: %s\n(prints the sample records of the simulated terminal 1 as CSV)\n",
                 argv[0]);
    return 2;
  }
  constexpr int kDays = 28;
  mvcomm::emulator::Emulator emulator;
  mvcomm::emulator::Terminal& terminal = emulator.addTerminal(1);
  const CivilDate last = today();
  mvcomm::emulator::addSampleRecords(terminal, last, kDays, 6);
  mvcomm::emulator::VirtualLine line(emulator, "COM1");

  // The line outlives the object; the shared pointers only borrow it.
  std::shared_ptr<mvcomm::serial::PortOpener> opener(std::shared_ptr<void>(), &line.opener());
  std::shared_ptr<mvcomm::Clock> clock(std::shared_ptr<void>(), &line.clock());
  mvcomm::n_cst_mvcomm comm(opener, clock);
  comm.commport = 1;
  comm.bautrate = 9600;

  const CivilDate first = mvcomm::emulator::civilFromDays(mvcomm::emulator::daysFromCivil(last) - (kDays - 1));
  comm.readdata(std::string("1"), toDate(first), toDate(last));
  if (comm.errorcode != 0) {
    std::fprintf(stderr, "readdata failed: %d %s\n", comm.errorcode, comm.errormessage.c_str());
    return 1;
  }
  std::printf("employeeid,workclass,cardedtime\n");
  for (std::int32_t row = 1; row <= comm.rsrows; ++row) {
    comm.moverecord(row, 1);
    if (comm.errorcode != 0) {
      std::fprintf(stderr, "moverecord failed: %d %s\n", comm.errorcode, comm.errormessage.c_str());
      return 1;
    }
    const std::string when = comm.rscardedtime ? comm.rscardedtime->toString() : std::string();
    std::printf("%d,%s,%s\n", comm.rsemployeeid, comm.rsworkclass.c_str(), when.c_str());
  }
  return 0;
}
