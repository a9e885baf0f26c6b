// Temporary: filled in by the next commits.
#include "terminal/n_cst_mvcomm.h"
namespace mvcomm {
void n_cst_mvcomm::setclock(const NullableString&, const NullableDateTime&) {}
void n_cst_mvcomm::readdata(const NullableString&, const NullableDate&, const NullableDate&) {}
void n_cst_mvcomm::cleardata(const NullableString&) {}
void n_cst_mvcomm::moverecord(std::int32_t, std::int32_t) {}
void n_cst_mvcomm::rtbeginwrite(std::int32_t) {}
void n_cst_mvcomm::rtwriterecord(std::int32_t, std::int32_t, std::int32_t) {}
void n_cst_mvcomm::readrefertable(const NullableString&) {}
void n_cst_mvcomm::writerefertable(const NullableString&) {}
}  // namespace mvcomm
