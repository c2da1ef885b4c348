-- wrk: posts reports the way the program does, each from a client identifier of its
-- own, so that every one is a new flight to store rather than a repeat of the last.
-- With BENCH_REQUESTS set, each wrk thread stops after that many answers.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded "
local prefix = "TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID="

-- The identifiers start with the run's own time, so that no run repeats an earlier one's.
local threads = 0
local run = os.time()
function setup(thread)
  threads = threads + 1
  thread:set("id", run .. "." .. threads)
end

local sent = 0
function request()
  sent = sent + 1
  return wrk.format(nil, nil, nil, prefix .. id .. "-" .. sent)
end

local limit = tonumber(os.getenv("BENCH_REQUESTS") or "0")
if limit > 0 then
  local answered = 0
  function response()
    answered = answered + 1
    if answered >= limit then wrk.thread:stop() end
  end
end
