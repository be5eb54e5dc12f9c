#include "core/zip/zip_format.hpp"

namespace pelvane {

bool is_valid_dos_date_time(DosDateTime stamp) {
  unsigned day = stamp.date & 0x1F;
  unsigned month = (stamp.date >> 5) & 0x0F;
  unsigned year = 1980 + (stamp.date >> 9);
  unsigned seconds = (stamp.time & 0x1F) * 2;
  unsigned minutes = (stamp.time >> 5) & 0x3F;
  unsigned hours = stamp.time >> 11;
  if (month < 1 || month > 12 || day < 1) return false;
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  unsigned days_in_month = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= days_in_month && hours < 24 && minutes < 60 && seconds < 60;
}

}  // namespace pelvane
