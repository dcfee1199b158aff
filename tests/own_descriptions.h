#pragma once

// Two services no description ships for, described as a user would in
// ~/.config/Kestrion/sources/; the local quote service answers both.

// Semicolons, German names and numbers, dd.MM.yyyy, newest first, a title
// line before the header, the key in a header.
inline constexpr const char* kBoersenblickDescription =
    R"({"name": "Börsenblick", "url": "https://kurse.example.de/export/{symbol}.csv?von={from}&bis={to}",
        "headers": {"X-Api-Key": "{key}"}, "key": "required", "key-help": "Im Kundenkonto unter Schnittstelle.",
        "dates": "dd.MM.yyyy", "format": "csv", "csv": {"separator": ";", "skip": 1},
        "fields": {"date": "Datum", "open": "Eröffnung", "high": "Hoch", "low": "Tief", "close": "Schluss", "volume": "Volumen"},
        "date-format": "dd.MM.yyyy", "timezone": "Europe/Berlin"})";

// Rows under data.bars, prices in nested objects, epoch stamps of midnight
// in Tokyo (the day before in UTC), a key it may go without.
inline constexpr const char* kKabuDescription =
    R"({"name": "Kabu Feed", "url": "https://api.kabu.example.jp/v1/history?code={symbol}&start={from}&end={to}",
        "headers": {"Authorization": "Token {key}"}, "key": "optional", "dates": "unix", "format": "json",
        "rows": "data.bars", "date-format": "unix", "timezone": "Asia/Tokyo",
        "fields": {"date": "time", "open": "price.open", "high": "price.high", "low": "price.low", "close": "price.close",
                   "volume": "volume"}})";
