// File: testing/terminal_probe.h
//
// White-box access to the terminal class's private functions, for tests
// and fuzz targets only.
#pragma once

#include "terminal/n_cst_mvcomm.h"

namespace mvcomm {

struct n_cst_mvcomm_probe {
  using O = n_cst_mvcomm;
  static bool buildcrc(O& o, std::vector<std::uint8_t>& b, std::int32_t& size) { return o.of_buildcrc(b, size); }
  static void seterrorinfo(O& o, std::int32_t code, bool api) { o.of_seterrorinfo(code, api); }
  static bool parsedata(O& o, std::span<const std::uint8_t> b, std::int32_t size) { return o.of_parsedata(b, size); }
  static bool readdatafromold(O& o, std::vector<std::uint8_t>& b, std::int32_t size) {
    return o.of_readdatafromold(b, size);
  }
  static bool opencomm(O& o) { return o.of_opencomm(); }
  static bool setcommstat(O& o, const std::string& s, std::int16_t rate) { return o.of_setcommstat(s, rate); }
  static bool sendcommand(O& o, std::span<const std::uint8_t> b, std::int32_t size) { return o.of_sendcommand(b, size); }
  static bool receivedata(O& o, std::vector<std::uint8_t>& b, std::int32_t& got, bool newModel) {
    return o.of_receivedata(b, got, newModel);
  }
  static void setNewMachineReadData(O& o, bool on) { o.ib_newmachinereaddata = on; }
  static std::uint8_t xorChars(O& o, std::uint8_t a, std::uint8_t b) { return o.of_xor(a, b); }
  static std::uint16_t inverse(O& o, std::uint16_t v) { return o.of_inverse(v); }
  static std::int32_t handle(const O& o) { return o.il_hcomm; }
  static bool rtBufferInit(const O& o) { return o.ib_rtbuferinit; }
};

}  // namespace mvcomm
