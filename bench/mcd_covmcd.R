# robustbase's covMcd on the data sets that mcd_bench wrote, in the same run: the time per
# call and the raw objective, log det of the covariance (divisor h - 1) of the best h-subset,
# for robustbase's subset and for ours, by one formula so the two are comparable.
# Usage: Rscript mcd_covmcd.R PREFIX MIN_TIME
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
  # alpha = 1/2 is the subset size (n + p + 1) %/% 2 exactly, free of rounding in h/n.
  alpha <- 0.5
  if (h.alpha.n(alpha, n, p) != h) stop("h.alpha.n(0.5, n, p) is not (n + p + 1) %/% 2")
  set.seed(1)
  fit <- covMcd(x, alpha = alpha)
  if (length(fit$best) != h) cat(sprintf("note %d %d: covMcd's best has %d cases, h = %d\n", n, p, length(fit$best), h))
  ours <- scan(paste0(stem, ".best"), quiet = TRUE)
  cat(sprintf("peer %d %d %d %.17g %.17g\n", n, p, h, logdet(x, fit$best), logdet(x, ours)))
  t <- time_per_call(function() covMcd(x, alpha = alpha), min_time)
  cat(sprintf("theirs %d %d %.6e %.6e\n", n, p, t[1], t[2]))
}
