// File: terminal/n_cst_mvcomm.h
//
// n_cst_mvcomm: the object that talks to time-and-attendance terminals on one
// serial line. A client sets `commport` and `bautrate`, calls one method per
// operation, and reads the outcome (`errorcode`, `errormessage`) and the data
// (record set `rs*`, reference table `rt*`) from the public members.
//
// Every method reports exactly one outcome (except `moverecord` with a
// `numrecord` <= 0) and leaves the port closed. No exception leaves a
// method: a failed allocation is the outcome errno 12 (ENOMEM, "API
// Error:Cannot allocate memory").
//
// The object reaches the line only through a PortOpener and a Clock. The
// no-argument constructor takes both from a process-wide default environment
// (the termios backend and the monotonic clock) that tests and tools may
// replace before creating objects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial/serial_port.h"
#include "terminal/datetime.h"
#include "terminal/structures.h"

namespace mvcomm {

namespace terminal {
enum class FrameCheck : std::uint8_t;
class CrcEvidence;
}

// What a long operation is doing, for a caller that shows progress. Not part
// of the automation interface.
struct Progress {
  enum class Kind : std::uint8_t {
    kReferBlock,  // a reference-table block went through; `count` = block number
    kOldFrame,    // an old-model data frame arrived; `count` = frames so far
    kWaiting,     // a wait of `wait` begins (settle pause, first-byte wait)
  };
  Kind kind = Kind::kWaiting;
  std::int32_t count = 0;
  Clock::duration wait{};
};
using ProgressCallback = std::function<void(const Progress&)>;

// What the last terminal operation learned about the check bytes at the end
// of the terminal's frames (data frames, table block replies). Not part of
// the automation interface.
struct CrcFindings {
  enum class State : std::uint8_t {
    kNotSeen,    // no frame of that kind arrived
    kChecked,    // the frames carry the check named in `form`
    kUnchecked,  // they carry zero bytes (`form` "zero") or a check of a form
                 // not known (`form` empty): taken on their structure alone
  };
  State state = State::kNotSeen;
  std::string form;  // "arc-frame", "arc-control-msb", "zero"... (crc_forms.h)
};

class n_cst_mvcomm {
 public:
  // Where instances built without arguments get their line and clock.
  struct Environment {
    std::shared_ptr<serial::PortOpener> opener;  // opens "COMn"
    std::shared_ptr<Clock> clock;                // every wait and timestamp
  };

  // The current default (termios ports, monotonic clock unless replaced).
  static Environment defaultEnvironment();
  // Replaces the default for instances created from now on; returns the old
  // one. A member left null keeps the built-in default.
  static Environment setDefaultEnvironment(Environment env);

  n_cst_mvcomm();
  // A null opener or clock is taken from the default environment.
  n_cst_mvcomm(std::shared_ptr<serial::PortOpener> opener, std::shared_ptr<Clock> clock);
  ~n_cst_mvcomm();
  n_cst_mvcomm(const n_cst_mvcomm&) = delete;
  n_cst_mvcomm& operator=(const n_cst_mvcomm&) = delete;

  // ---- properties (clients write only commport, bautrate, receivedatatimelapse)
  std::int16_t commport = 0;              // serial port n, opened as "COMn"
  std::int16_t bautrate = 0;              // rate readdata switches to: 2400, 4800, 9600, 14400
  std::string errormessage;               // text of the last outcome
  std::int32_t errorcode = 0;             // 0, 20000 + own code, or errno
  std::int32_t rsrows = 0;                // rows in the record set
  std::int32_t rsemployeeid = 0;          // selected record: employee number
  std::string rsworkclass;                // selected record: work class "1".."8"
  NullableDateTime rscardedtime = DateTime{};  // selected record: clock-in time
  std::int32_t rtrows = 0;                // rows in the reference table
  std::int32_t rtemployeeid = 0;          // selected table row: employee number
  std::int32_t rtcardid = 0;              // selected table row: card number
  std::int32_t receivedatatimelapse = 800;  // idle time-out in ms; <= 0 means 800

  // ---- public methods
  // Terminal methods check, in order: machinenum is a number (else
  // invalid_arguments; readdata: invalid_machinenum), their clock or dates
  // (invalid_datetime), the number is a whole number 0..65535
  // (invalid_machinenum), commport > 0 (invalid_commport), bautrate > 0
  // (invalid_bautrate). Serial failures give errno and "API Error:...".

  // Sets the terminal's clock to `clock` (seconds are not sent).
  // Errors: the checks above, failed_connect_specific_machine, failed_set_clock.
  void setclock(const NullableString& machinenum, const NullableDateTime& clock);
  // Downloads the records between the two dates (either order) into the
  // record set. Errors: the checks above, failed_connect_specific_machine,
  // failed_alter_specific_machine_bautrate, failed_send_read_command,
  // havent_read_data (no reply, or a transfer that stops before its EOT
  // frame), failed_parse_data (a damaged data frame). After either of the
  // last two the record set is empty: records are taken only from a whole,
  // sound transfer.
  void readdata(const NullableString& machinenum, const NullableDate& startdate,
                const NullableDate& enddate);
  // Clears the terminal's records; on success also the record set.
  // Errors: the checks above, failed_connect_specific_machine, failed_clear_data.
  void cleardata(const NullableString& machinenum);
  // Selects row `numrecord` (clamped to the last) of the record set (flag 1)
  // or reference table (flag 2). numrecord <= 0 clears that cursor without
  // reporting. Errors: invalid_settings (flag), no_record (empty set).
  void moverecord(std::int32_t numrecord, std::int32_t flag);
  // Starts a new reference table of `recordcount` rows (1..2911), all (0, 0).
  // Errors: invalid_arguments.
  void rtbeginwrite(std::int32_t recordcount);
  // Fills row `numrecord` of the table begun by rtbeginwrite.
  // Errors: refertable_no_init, invalid_record_number.
  void rtwriterecord(std::int32_t numrecord, std::int32_t employeeid, std::int32_t cardid);
  // Uploads the terminal's reference table. Errors: the checks above,
  // failed_read_refertable (a block reply missing, short of its 16 bytes or
  // damaged; the table in memory is left as it was).
  void readrefertable(const NullableString& machinenum);
  // Downloads the reference table in memory. Errors: the checks above,
  // no_record_in_refertable, failed_write_refertable (a block answered by
  // silence or refused with NAK: the terminal may hold part of the table).
  void writerefertable(const NullableString& machinenum);

  // ---- C++ extras (not part of the automation interface)
  void setProgress(ProgressCallback callback) { progress_ = std::move(callback); }
  const std::vector<str_record>& records() const { return istr_records; }
  const std::vector<str_referrecord>& refertable() const { return istr_refertable; }
  const CrcFindings& crcFindings() const { return crcFindings_; }

 private:
  friend struct n_cst_mvcomm_probe;  // white-box access for tests and fuzzers

  // ---- named constants
  static constexpr std::int16_t error_success = 0;
  static constexpr std::int16_t invalid_settings = 1;
  static constexpr std::int16_t invalid_commport = 2;
  static constexpr std::int16_t invalid_bautrate = 3;
  static constexpr std::int16_t failed_open_commport = 4;
  static constexpr std::int16_t failed_close_commport = 5;
  static constexpr std::int16_t failed_set_inout_bufferszie = 6;
  static constexpr std::int16_t no_record = 7;
  static constexpr std::int16_t failed_build_crc = 8;
  static constexpr std::int16_t failed_connect_specific_machine = 9;
  static constexpr std::int16_t failed_alter_specific_machine_bautrate = 10;
  static constexpr std::int16_t failed_send_read_command = 11;
  static constexpr std::int16_t failed_parse_data = 12;
  static constexpr std::int16_t havent_read_data = 13;
  static constexpr std::int16_t failed_set_clock = 14;
  static constexpr std::int16_t failed_clear_data = 15;
  static constexpr std::int16_t invalid_arguments = 16;
  static constexpr std::int16_t invalid_machinenum = 17;
  static constexpr std::int16_t invalid_datetime = 18;
  static constexpr std::int16_t invalid_recordset_flag = 19;
  static constexpr std::int16_t no_record_in_refertable = 20;
  static constexpr std::int16_t invalid_record_number = 21;
  static constexpr std::int16_t refertable_no_init = 22;
  static constexpr std::int16_t failed_read_refertable = 23;
  static constexpr std::int16_t failed_write_refertable = 24;

  static constexpr std::int16_t purge_txabort = 1;
  static constexpr std::int16_t purge_rxabort = 2;
  static constexpr std::int16_t purge_txclear = 4;
  static constexpr std::int16_t purge_rxclear = 8;

  static constexpr std::int16_t setxoff = 1;
  static constexpr std::int16_t setxon = 2;
  static constexpr std::int16_t setrts = 3;
  static constexpr std::int16_t clrrts = 4;
  static constexpr std::int16_t setdtr = 5;
  static constexpr std::int16_t clrdtr = 6;
  static constexpr std::int16_t resetdev = 7;
  static constexpr std::int16_t setbreak = 8;
  static constexpr std::int16_t clrbreak = 9;

  static constexpr std::int32_t invalid_handle_value = -1;

  static constexpr std::size_t kFrameBufferSize = 150000;

  // ---- private functions (each bool function has reported when it fails)
  bool of_checksettings();
  void of_seterrorinfo(std::int32_t al_errorcode, bool ab_apierror);
  bool of_opencomm();
  bool of_setcommstat(const std::string& as_settings, std::int16_t ai_bautrate);
  bool of_sendcommand(std::span<const std::uint8_t> ablb_buffer, std::int32_t al_buffersize);
  bool of_receivedata(std::vector<std::uint8_t>& ablb_buffer, std::int32_t& al_bytesread,
                      bool ab_newmachine);
  bool of_buildcrc(std::vector<std::uint8_t>& ablb_buffer, std::int32_t& al_buffersize);
  std::uint8_t of_xor(std::uint8_t ac_arg1, std::uint8_t ac_arg2);
  std::uint16_t of_inverse(std::uint16_t aui_arg);
  bool of_connect(std::int32_t al_machinenum);
  bool of_parsedata(std::span<const std::uint8_t> ablb_buffer, std::int32_t al_buffersize);
  bool of_readdatafromold(std::vector<std::uint8_t>& ablb_buffer, std::int32_t al_buffersize);
  void of_clearrecordset(std::int32_t al_flag);

  // ---- helpers of our own
  // Common argument checks; `notNumberCode` is what a non-numeric text gives.
  // `middleCheck` runs between the number test and the range test and
  // reports itself when it fails.
  bool checkTerminalArguments(const NullableString& machinenum, std::int16_t notNumberCode,
                              const std::function<bool()>& middleCheck, std::int32_t& number);
  bool failOs(int error);  // reports errno `error` as an operating-system failure
  bool sendFrame(const std::vector<std::uint8_t>& frame);  // assembles in iblb_buffer, sends
  bool receptionSound(terminal::FrameCheck check);  // reports a cut-short or damaged reception
  void noteCrc(const terminal::CrcEvidence& evidence);  // fills crcFindings_ from a transfer
  bool selectForTable(std::int32_t machine);
  void settleWait();
  // A public method's handler: a failed allocation inside it closes the port
  // and becomes the outcome ENOMEM.
  void reportNoMemory() noexcept;
  void notify(Progress::Kind kind, std::int32_t count, Clock::duration wait = {});
  std::string settingsString(char parity) const;

  // ---- private state
  std::vector<str_record> istr_records;         // the record set
  std::vector<str_referrecord> istr_refertable;  // the reference table
  bool ib_rtbuferinit = false;                   // rtbeginwrite has sized the table
  std::int32_t il_hcomm = invalid_handle_value;  // open port's handle; -1 when closed
  std::vector<std::uint8_t> iblb_buffer;         // frame buffer, kFrameBufferSize bytes once used
  bool ib_newmachinereaddata = false;            // next reception idles 5000 ms

  std::shared_ptr<serial::PortOpener> opener_;
  std::shared_ptr<Clock> clock_;
  std::unique_ptr<serial::SerialPort> port_;     // open while il_hcomm != -1
  int lastOsError_ = 0;                          // errno of the last failed call
  std::int32_t nextHandle_ = 1;                  // handle numbers given out
  ProgressCallback progress_;
  CrcFindings crcFindings_;                      // of the current or last operation
};

}  // namespace mvcomm
