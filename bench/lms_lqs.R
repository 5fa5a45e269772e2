# MASS's lqs on the data sets that lms_bench wrote, in the same run, with the same h and the
# same number of subsets (all of them, nsamp = "exact", where ours enumerates). lqs's method
# "lms" always takes the median (h = (n + 1) %/% 2, its quantile argument is overridden), so
# the LMS of a given h is its method "lqs" with quantile = h, the h-th smallest squared
# residual, with the intercept adjusted for each subset as ours is. Reported:
# the time per call, and the h-th smallest squared residual of lqs's fit and of ours, by one
# formula so the two are comparable.
# Usage: Rscript lms_lqs.R PREFIX CASES MIN_TIME   (CASES: the "criterion" lines of lms_bench)
suppressMessages(library(MASS))
source(file.path(dirname(sub("^--file=", "", grep("^--file=", commandArgs(), value = TRUE))), "common.R"))
args <- commandArgs(trailingOnly = TRUE)
prefix <- args[1]
cases <- read.table(args[2])
min_time <- as.numeric(args[3])
peer_banner("MASS")

hth <- function(x, y, b, h) sort((y - b[1] - x %*% b[-1])^2)[h]  # b: intercept first

for (k in seq_len(nrow(cases))) {
  n <- cases[k, 2]; p <- cases[k, 3]; h <- cases[k, 4]; subsets <- cases[k, 5]
  stem <- sprintf("%s_%d_%d", prefix, n, p)
  x <- read_rows(paste0(stem, ".x"), n, p - 1)
  y <- readBin(paste0(stem, ".y"), "double", n)
  ours <- readBin(paste0(stem, ".coef"), "double", p)
  exact <- choose(n, p) <= subsets
  nsamp <- if (exact) "exact" else subsets
  fit_once <- function() lqs(x, y, method = "lqs", quantile = h, nsamp = nsamp, adjust = TRUE)
  set.seed(1)
  fit <- fit_once()
  cat(sprintf("peer %d %d %d %.17g %.17g\n", n, p, h, hth(x, y, c(ours[p], ours[-p]), h),
              hth(x, y, fit$coefficients, h)))
  t <- time_per_call(fit_once, min_time)
  cat(sprintf("theirs %d %d %.6e %.6e\n", n, p, t[1], t[2]))
}
