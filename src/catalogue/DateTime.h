#pragma once

// A calendar date and time of day in local time, with a status: valid,
// invalid (a failed calculation or impossible fields) or null (no value).
// The catalogue stores it as text, file objects keep their file times and
// scan stamps in it. A plain value: each copy belongs to the thread using it.

#include <ctime>
#include <string>

class DateTime {
public:
    enum class Status { Valid, Invalid, Null };

    // The null value: status null, date 100-01-01 00:00:00.
    DateTime() = default;
    // Valid when the fields name a real moment between the years 100 and
    // 9999; otherwise invalid (with the fields of the null date).
    DateTime(int year, int month, int day, int hour, int minute, int second);

    static DateTime Now();
    // A time_t as local time; invalid when the platform cannot convert it.
    static DateTime FromTimeT(std::time_t time);

    Status GetStatus() const { return m_status; }
    bool IsValid() const { return m_status == Status::Valid; }
    bool IsNull() const { return m_status == Status::Null; }
    void SetStatus(Status status) { m_status = status; }

    int Year() const { return m_year; }
    int Month() const { return m_month; }
    int Day() const { return m_day; }
    int Hour() const { return m_hour; }
    int Minute() const { return m_minute; }
    int Second() const { return m_second; }

    // The form the catalogue stores: "%Y-%m-%d %H:%M:%S". A null or invalid
    // value is written as the empty string, so no bogus date reaches a row.
    std::string Format() const;

    // Reads the stored form and the other common local forms (ISO with "T",
    // without seconds or time, the camera form "2009:03:15 14:25:01",
    // slashes, the locale's own date and time forms, US month/day/year with
    // AM/PM, dotted day.month.year). True when the text parsed; then the
    // value is valid. When the text does not parse the value is unchanged.
    bool ParseDateTime(const std::string& text);

    // Earlier/later comparisons hold only between two valid values; with
    // any other status on either side they are false.
    bool operator<(const DateTime& other) const;
    bool operator>(const DateTime& other) const { return other < *this; }
    bool operator<=(const DateTime& other) const;
    bool operator>=(const DateTime& other) const { return other <= *this; }
    // Same status, and for valid values the same moment.
    bool operator==(const DateTime& other) const;
    bool operator!=(const DateTime& other) const { return !(*this == other); }

private:
    bool SetFields(int year, int month, int day, int hour, int minute, int second);
    long long Key() const;

    Status m_status = Status::Null;
    int m_year = 100;
    int m_month = 1;
    int m_day = 1;
    int m_hour = 0;
    int m_minute = 0;
    int m_second = 0;
};
