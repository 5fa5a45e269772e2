# robustbase's deterministic MCD, covMcd(x, nsamp = "deterministic"), on the data sets that
# mcd_bench --write-det wrote, in the same run as ours: the time per call and the raw
# objective, log det of the covariance (divisor h - 1) of the best h-subset, for robustbase's
# subset and for ours, by one formula.
# Usage: Rscript mcd_detmcd.R PREFIX MIN_TIME
suppressMessages(library(robustbase))
source(file.path(dirname(sub("^--file=", "", grep("^--file=", commandArgs(), value = TRUE))), "common.R"))
args <- commandArgs(trailingOnly = TRUE)
prefix <- args[1]
min_time <- as.numeric(args[2])
peer_banner("robustbase")

for (n in c(1000, 10000, 100000)) for (p in c(2, 5, 10)) {
  stem <- sprintf("%s_%d_%d", prefix, n, p)
  x <- read_rows(paste0(stem, ".bin"), n, p)
  h <- (n + p + 1) %/% 2
  if (h.alpha.n(0.5, n, p) != h) stop("h.alpha.n(0.5, n, p) is not (n + p + 1) %/% 2")
  # The calls are timed until min_time has passed (at least one); the fit of the first gives
  # the objective, as the method has no randomness.
  reps <- 0
  fit <- NULL
  wall <- 0
  cpu <- 0
  while (reps == 0 || wall < min_time) {
    t <- system.time(f <- covMcd(x, alpha = 0.5, nsamp = "deterministic"))
    if (is.null(fit)) fit <- f
    wall <- wall + t[["elapsed"]]
    cpu <- cpu + t[["user.self"]] + t[["sys.self"]]
    reps <- reps + 1
  }
  ours <- scan(paste0(stem, ".detbest"), quiet = TRUE)
  cat(sprintf("peer %d %d %d %.17g %.17g\n", n, p, h, logdet(x, fit$best), logdet(x, ours)))
  cat(sprintf("theirs %d %d %.6e %.6e\n", n, p, wall / reps, cpu / reps))
}
