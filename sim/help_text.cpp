#include "help_text.h"

namespace kestrion::sim {

const char* const kHelpText = R"(Usage: kestrion-quote-sim [--port N] [--delay-ms N] [--log FILE]
                          [--tiingo-token KEY]
       kestrion-quote-sim --help | --version

A local stand-in for the quote and chart services Kestrion talks to, for
tests, benchmarks and demonstrations. It serves plain HTTP/1.1 on 127.0.0.1
only (keep-alive and "Connection: close" are honoured) and answers with
made-up but repeatable quotes: a symbol always gets the same bar for the
same date, whatever range is asked for.

Options:
  --port N        Listen on port N (0 to 65535). 0, the default, picks a
                  free port.
  --delay-ms N    Wait N milliseconds (0 to 600000, default 0) before every
                  answer.
  --log FILE      Append one line per request received to FILE: the method
                  and the path with its query, e.g.
                  "GET /table.csv?a=0&b=01&...". Lines are flushed at once.
                  Header fields are not logged; a "token" query value is
                  written as "***".
  --tiingo-token KEY
                  The only key the Tiingo service accepts (default
                  "sim-tiingo-token"): printable characters, no spaces.
  --help          Show this text and exit.
  --version       Show the version and exit.

On start it prints one line to standard output, then serves until it is
stopped with SIGTERM or SIGINT (Ctrl+C):
  kestrion-quote-sim listening on 127.0.0.1:PORT

Set every service host of Kestrion to 127.0.0.1:PORT to use it.

Exit status: 0 after SIGTERM or SIGINT, --help or --version; 1 when the
port cannot be opened or the log file cannot be written; 2 for a wrong
option.

Services:
  GET /table.csv?a=M&b=D&c=Y&d=M&e=D&f=Y&s=SYMBOL&y=0&g=d|w|m&ignore=.csv
      Yahoo history table (text/csv). a and d are months counted from 0,
      b and e days, c and f years; the range includes both ends. Header
      "Date,Open,High,Low,Close,Volume,Adj Close", then one row per bar,
      newest first, dates as YYYY-MM-DD. g=d: weekdays only (there are no
      holidays); g=w: one row per week, dated its Monday or its first day
      inside the range; g=m: one row per month, dated its first weekday
      inside the range. A weekly or monthly bar covers only the days inside
      the range. Any other g counts as d. Days may have leading zeros
      ("01"); a day past the end of its month counts as the month's last
      day (Feb 31 is Feb 28 or 29).
      An unknown symbol, or a range without a weekday, gets HTTP 404 with
      an HTML page; missing or non-numeric dates get HTTP 400.

  GET /wsc2/Historical_Quotes.html?Symbol=SYM&Button=Get+Quotes
          &StartDate=M%2FDD%2FYY&Type=0|1|2&EndDate=M%2FDD%2FYY&Format=CODE
      Wall Street City query page (HTML). Type 0 is daily, 1 weekly,
      2 monthly (anything else daily). Two-digit years 00-69 mean 2000-2069,
      70-99 mean 1970-1999. The page links the result file as
      <a href="/dynamic/NAME.txt">, NAME being 11 characters a-z and 0-9.
      Unknown symbols, unreadable dates and ranges without a weekday get the
      page without that link (HTTP 200), as the real service did.

  GET /dynamic/NAME.txt
      The result file named by a query page, in the layout of its Format
      code (text/plain, dates ascending):
        4  ASCII 1 - Quicken:  SYMBOL,CLOSE,MM/DD/YY (no header)
        1  ASCII 7 - MetaStock: header
           <TICKER>,<PER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>
           then e.g. MSFT,D,20030925,25.10,25.50,24.90,25.20,1234567,0
        3  DIF 7 - spreadsheet: a DIF file of 7 columns (date YYYYMMDD,
           open, high, low, close, volume, open interest), the first row
           holding the column names
        6  HEADER 5: header Date,High,Low,Close,Volume; dates MM/DD/YYYY
        5  HEADER 7: header Date,Open,High,Low,Close,Volume,OpenInt;
           dates MM/DD/YYYY
        7  YYMMDD7:  YYMMDD,open,high,low,close,volume,oi (no header)
      Any other code is answered like 5. The last 100000 names are kept for
      the life of the server; an unknown name gets HTTP 404.

  GET /intchart/frames/main.asp?symb=SYM&time=T&freq=F&country=C
      Chart page titled "SYM chart" (upper case; "Chart" without a symbol)
      with a line chart of the closes up to today and the time, freq and
      country; for a symbol starting with ZZ it says there is no chart.
      time: 1 and 3 a week, 4 a month, 6 three months, 7 six months,
      8 a year (also the default), 9 two years, 12 five years.

  GET /v8/finance/chart/SYMBOL?period1=UNIX&period2=UNIX&interval=1d|1wk|1mo
          &events=div%2Csplits&includeAdjustedClose=true
      Yahoo Chart (application/json). SYMBOL is percent-encoded (%5EGSPC
      for ^GSPC). Requests need a User-Agent starting "Mozilla/5.0";
      others get HTTP 429 with "Too Many Requests", as the real service
      answers bare clients. The answer is
        {"chart":{"result":[{"meta":{...,"gmtoffset":-18000,...},
         "timestamp":[...],"events":{...},"indicators":{"quote":[{"open":[..],
         "high":[..],"low":[..],"close":[..],"volume":[..]}],
         "adjclose":[{"adjclose":[..]}]}}],"error":null}}
      oldest first, prices as float32 values widened to double
      (152.11000061035156), volume whole. A bar is sent when its local
      date, taken at 00:00 UTC, lies in [period1, period2). Timestamps:
      09:30 New York time (14:30 UTC) of the bar's day, gmtoffset -18000;
      for symbols ending ".T" (Tokyo, JPY) 00:00 local time, i.e. 15:00 UTC
      of the day before, gmtoffset 32400. 1wk bars are stamped with their
      week's Monday, 1mo bars with their month's first weekday. "events"
      appears only when a dividend or split falls in the range. No bar in
      the range: no "timestamp" and "quote":[{}],"adjclose":[{}].
      Unknown symbol: HTTP 404, error code "Not Found"; missing or bad
      period1, period2 or interval, or period1 after period2: HTTP 400,
      error code "Bad Request" ("result":null in both).

  GET /tiingo/daily/SYMBOL/prices?startDate=YYYY-MM-DD&endDate=YYYY-MM-DD
          &resampleFreq=daily|weekly|monthly&format=csv
      Tiingo (text/csv), with the header "Authorization: Token KEY" (see
      --tiingo-token); without it or with another key HTTP 401 and
      {"detail":"Invalid token."}. Header
      date,close,high,low,open,volume,adjClose,adjHigh,adjLow,adjOpen,
      adjVolume,divCash,splitFactor (one line), then one row per bar of
      [startDate, endDate], oldest first, LF line ends: raw prices,
      adjusted ones, divCash 0.0 and splitFactor 1.0 on ordinary rows.
      Weekly rows are dated the Friday of their week, monthly rows the last
      weekday of their month (also when that is after endDate). No bar in
      the range: the header line only. resampleFreq defaults to daily.
      Unknown symbol: HTTP 404 {"detail":"Error: Ticker 'SYM' not found"};
      bad dates, startDate after endDate, another resampleFreq or a format
      other than csv: HTTP 400 with a {"detail":...} message.

  GET /api/eod/SYMBOL, /time_series, /v2/aggs/ticker/SYMBOL/range/1/...,
          /v1/stocks/candles/RES/SYMBOL, /query
      EODHD, Twelve Data, Massive, MarketData and Alpha Vantage as Kestrion's
      shipped descriptions ask them, each in its own format. Keys:
      sim-eodhd-key, sim-twelve-data-key, sim-massive-key,
      sim-marketdata-key, sim-alpha-vantage-key; another key gets the
      service's own refusal. ZZ... is unknown, NO_... has no prices,
      QUOTA_... gets the service's quota notice (HTTP 200 where the service
      sends it so), R429_... a plain HTTP 429.

  GET /export/SYMBOL.csv?von=dd.MM.yyyy&bis=dd.MM.yyyy
      "Börsenblick", a service a user describes: ';'-separated, a title
      line, German column names and numbers, newest first. Key in the
      X-Api-Key header: sim-boersenblick-key. E500_... gets HTTP 500.
  GET /v1/history?code=SYMBOL&start=UNIX&end=UNIX
      "Kabu Feed": {"data":{"bars":[{"time":...,"price":{...},"volume":...}]}},
      each day stamped at its midnight in Tokyo; end is exclusive. The key
      is optional ("Authorization: Token sim-kabu-key"); a wrong one gets 401.

  GET /            Home page "Kestrion Home".
  GET /search      Search page "Kestrion Search" (a symbol form for charts).

  One service only: before the first '_', '-'-separated words N<tag>
  (unknown there) and R<tag> (HTTP 429 there, always); tags Y Yahoo
  Chart, T Tiingo, E EODHD. NY-RT_A is unknown to Yahoo Chart, refused
  by Tiingo and served by the others.

  Symbols are decoded (%XX, and + as a space in a query) and compared in
  upper case.
  Quotes exist for the weekdays from 1900-01-01 to 2099-12-31; ranges are
  clipped to those dates.
  Prices have two decimals with 1.00 <= low <= open, close <= high; open
  interest is always 0. Other paths get HTTP 404; requests that are not
  understood get HTTP 400 and the connection is closed; methods other than
  GET and HEAD get HTTP 405.

Unknown symbols:
  An empty symbol, or one starting with ZZ, is unknown to every service.

Fault injection, by symbol prefix (on every service; on Wall Street City
the query page misbehaves and only query pages count for FAIL):
  FAIL<n>_<any>   The first n requests for this exact symbol get HTTP 503
                  with an empty body; later ones are answered normally.
                  The count lasts for the life of the server and is shared
                  by the Yahoo table, Wall Street City and the chart page;
                  Yahoo Chart and Tiingo count on their own. Example:
                  FAIL2_A.
  HANG_<any>      The request is read but never answered; the connection
                  stays open. Other connections are not held up.
  RESET_<any>     The connection is reset (TCP RST) without any answer.
  NO_<any>        HTTP 200 with the text "No data available for SYMBOL".
  E500_<any>      HTTP 500 with a short text body.
  SLOW_<any>      The normal answer, its body trickled in about 20 small
                  pieces over about 2 seconds.
  BIG_<any>       Yahoo table, Yahoo Chart and Tiingo: daily rows from
                  1900-01-01 to 2024-12-31 whatever the range asked (about
                  1.7 MB as a table, more as JSON).

Yahoo Chart and Tiingo only (the other services answer these symbols
normally). The counted ones count per service and symbol:
  NULL_<any>      Yahoo Chart: every 4th bar is null in open, high, low,
                  close, volume and adjclose, as Yahoo sends holidays.
  LIVE_<any>      Yahoo Chart 1wk and 1mo: the last period comes twice, its
                  period-start row and then a "live" row stamped 15:00 local
                  time (20:00 UTC in New York) of the last trading day in the
                  range, with another close and adjclose, a higher high and
                  a lower low. 1d answers are unchanged.
  SPLIT_<any>     A 2-for-1 split on the middle bar of the answer. Yahoo
                  Chart: "events":{"splits":...} at its timestamp, prices
                  already adjusted. Tiingo: rows before it carry twice the
                  raw prices and half the volume; splitFactor 2.0 on that
                  row; the adjusted columns are on the post-split scale.
  DIV_<any>       A dividend of 0.5 on the middle bar: Yahoo Chart
                  "events":{"dividends":...}, Tiingo divCash 0.5 on that row.
                  Adjusted prices of the earlier bars are multiplied by
                  1 - 0.5 / (close of the bar before it).
  SPLIT<yyyymmdd>_<any>, DIV<yyyymmdd>_<any>
                  The same split or dividend on the first weekday on or
                  after that date, whatever range is asked; the event is
                  told when that day is in the range. An answer ending on or
                  after the day adjusts the periods before it (the dividend
                  factor uses the close of the weekday before); one ending
                  before it is as sent before the event (a split: every
                  price doubled, half the volume). So answers ending on the
                  same side of the day give a date the same prices.
                  Example: SPLIT20240305_A.
  R429_<any>      HTTP 429 without Retry-After, every time. Body: Yahoo
                  Chart "Too Many Requests", Tiingo a {"detail":...} notice.
  RA<n>_<any>     HTTP 429 with "Retry-After: 1" for the first n requests,
                  then normal answers. Example: RA2_A.
  RL<n>_<any>     HTTP 429 without Retry-After for the first n requests,
                  then normal answers.
  R503RA_<any>    HTTP 503 with "Retry-After: 1" for the first request,
                  then normal answers.
  RLONG_<any>     HTTP 429 with "Retry-After: 120", every time.
  HUGE<n>_<any>   Yahoo history table only: a table of n MiB (one row over
                  and over), sent as the connection drains. Example:
                  HUGE300_A for a 300 MiB answer.
  QUOTA_<any>     HTTP 200, text/plain: "Error: You have run over your hourly
                  request allocation. Please upgrade your plan."
  HTML_<any>      HTTP 200, text/html: a small HTML error page.
  NO_<any> answers these services with HTTP 200, text/plain "No data
  available for SYMBOL", like the others.
)";

} // namespace kestrion::sim
