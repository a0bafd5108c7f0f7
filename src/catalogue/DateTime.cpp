#include "catalogue/DateTime.h"

#include <langinfo.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) {
        return 29;
    }
    return kDays[static_cast<size_t>(month - 1)];
}

bool FieldsAreReal(int year, int month, int day, int hour, int minute, int second) {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12) {
        return false;
    }
    if (day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// Reads exactly `count` digits at `text`.
bool ReadDigits(const char* text, int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// The stored form, by far the most frequent text: read without the C library.
bool ParseStoredForm(const std::string& text, std::tm& out) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return false;
    }
    const char* s = text.c_str();
    int year, month, day, hour, minute, second;
    if (!ReadDigits(s, 4, year) || !ReadDigits(s + 5, 2, month) || !ReadDigits(s + 8, 2, day) ||
        !ReadDigits(s + 11, 2, hour) || !ReadDigits(s + 14, 2, minute) ||
        !ReadDigits(s + 17, 2, second)) {
        return false;
    }
    out = std::tm{};
    out.tm_year = year - 1900;
    out.tm_mon = month - 1;
    out.tm_mday = day;
    out.tm_hour = hour;
    out.tm_min = minute;
    out.tm_sec = second;
    return true;
}

bool OnlySpaceLeft(const char* rest) {
    while (*rest != '\0') {
        if (!std::isspace(static_cast<unsigned char>(*rest))) {
            return false;
        }
        ++rest;
    }
    return true;
}

bool ParseWithFormat(const std::string& text, const std::string& format, std::tm& out) {
    if (format.empty()) {
        return false;
    }
    out = std::tm{};
    out.tm_mday = 1;
    const char* rest = strptime(text.c_str(), format.c_str(), &out);
    return rest != nullptr && OnlySpaceLeft(rest);
}

bool HasDigit(const std::string& text) {
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            return true;
        }
    }
    return false;
}

bool ParseAnyForm(const std::string& text, std::tm& out) {
    if (ParseStoredForm(text, out)) {
        return true;
    }
    // Every form has a year in digits; the empty stamps of never-synced
    // assets are the common case here and need no trial of each form.
    if (!HasDigit(text)) {
        return false;
    }
    static constexpr const char* kFixedForms[] = {
        "%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M", "%Y-%m-%d",
        "%Y:%m:%d %H:%M:%S", "%Y/%m/%d %H:%M:%S", "%Y/%m/%d %H:%M", "%Y/%m/%d",
    };
    for (const char* form : kFixedForms) {
        if (ParseWithFormat(text, form, out)) {
            return true;
        }
    }
    // The user's locale: its own date-and-time form, then its date with its
    // time (with and without AM/PM), then the date alone.
    const std::string dateTime = nl_langinfo(D_T_FMT);
    const std::string date = nl_langinfo(D_FMT);
    const std::string time = nl_langinfo(T_FMT);
    const std::string time12 = nl_langinfo(T_FMT_AMPM);
    const std::string localeForms[] = {dateTime, date + " " + time, date + " " + time12, date};
    for (const std::string& form : localeForms) {
        if (ParseWithFormat(text, form, out)) {
            return true;
        }
    }
    static constexpr const char* kCommonForms[] = {
        "%m/%d/%Y %I:%M:%S %p",
        "%m/%d/%Y %I:%M %p",
        "%m/%d/%Y %H:%M:%S",
        "%m/%d/%Y %H:%M",
        "%m/%d/%Y",
        "%d.%m.%Y %H:%M:%S",
        "%d.%m.%Y %H:%M",
        "%d.%m.%Y",
        "%B %d, %Y %H:%M:%S",
        "%B %d, %Y",
        "%d %B %Y %H:%M:%S",
        "%d %B %Y",
    };
    for (const char* form : kCommonForms) {
        if (ParseWithFormat(text, form, out)) {
            return true;
        }
    }
    return false;
}

} // namespace

DateTime::DateTime(int year, int month, int day, int hour, int minute, int second) {
    if (!SetFields(year, month, day, hour, minute, second)) {
        m_status = Status::Invalid;
    }
}

DateTime DateTime::Now() {
    return FromTimeT(std::time(nullptr));
}

DateTime DateTime::FromTimeT(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        DateTime invalid;
        invalid.m_status = Status::Invalid;
        return invalid;
    }
    return DateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                    local.tm_min, local.tm_sec);
}

bool DateTime::SetFields(int year, int month, int day, int hour, int minute, int second) {
    if (!FieldsAreReal(year, month, day, hour, minute, second)) {
        return false;
    }
    m_status = Status::Valid;
    m_year = year;
    m_month = month;
    m_day = day;
    m_hour = hour;
    m_minute = minute;
    m_second = second;
    return true;
}

std::string DateTime::Format() const {
    if (m_status != Status::Valid) {
        return {};
    }
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d", m_year, m_month, m_day,
                  m_hour, m_minute, m_second);
    return buffer;
}

bool DateTime::ParseDateTime(const std::string& text) {
    std::tm parsed{};
    if (!ParseAnyForm(text, parsed)) {
        return false;
    }
    return SetFields(parsed.tm_year + 1900, parsed.tm_mon + 1, parsed.tm_mday, parsed.tm_hour,
                     parsed.tm_min, parsed.tm_sec);
}

long long DateTime::Key() const {
    return ((((static_cast<long long>(m_year) * 100 + m_month) * 100 + m_day) * 100 + m_hour) *
                100 +
            m_minute) *
               100 +
           m_second;
}

bool DateTime::operator<(const DateTime& other) const {
    return IsValid() && other.IsValid() && Key() < other.Key();
}

bool DateTime::operator<=(const DateTime& other) const {
    return IsValid() && other.IsValid() && Key() <= other.Key();
}

bool DateTime::operator==(const DateTime& other) const {
    if (m_status != other.m_status) {
        return false;
    }
    return m_status != Status::Valid || Key() == other.Key();
}
