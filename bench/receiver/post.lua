-- wrk: posts the example report the way the program does. With BENCH_REQUESTS set,
-- each wrk thread stops after that many answers.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded "
wrk.body = "TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345"

local limit = tonumber(os.getenv("BENCH_REQUESTS") or "0")
if limit > 0 then
  local answered = 0
  function response()
    answered = answered + 1
    if answered >= limit then wrk.thread:stop() end
  end
end
