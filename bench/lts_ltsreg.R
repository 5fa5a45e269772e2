# robustbase's ltsReg on the data sets that lts_bench wrote, in the same run: the time per call
# and the objective, the sum of the h smallest squared residuals of the raw coefficients,
# h = (n + p + 1) %/% 2 with p counting the intercept, for robustbase's coefficients and for
# ours, by one formula so the two are comparable.
# Usage: Rscript lts_ltsreg.R PREFIX MIN_TIME [SEED]   (MIN_TIME 0: no timing)
suppressMessages(library(robustbase))
source(file.path(dirname(sub("^--file=", "", grep("^--file=", commandArgs(), value = TRUE))), "common.R"))
args <- commandArgs(trailingOnly = TRUE)
prefix <- args[1]
min_time <- as.numeric(args[2])
seed <- if (length(args) >= 3) as.integer(args[3]) else 1L
peer_banner("robustbase")

objective <- function(x, y, coef, h) {
  r <- y - cbind(x, 1) %*% coef
  sum(sort(r^2, partial = h)[1:h])
}

for (n in c(1000, 10000, 100000)) for (k in c(2, 5, 10)) {
  stem <- sprintf("%s_%d_%d", prefix, n, k)
  d <- read_rows(paste0(stem, ".bin"), n, k + 1)
  x <- d[, 1:k, drop = FALSE]
  y <- d[, k + 1]
  p <- k + 1
  h <- (n + p + 1) %/% 2
  if (h.alpha.n(0.5, n, p) != h) stop("h.alpha.n(0.5, n, p) is not (n + p + 1) %/% 2")
  set.seed(seed)
  fit <- ltsReg(x, y, alpha = 0.5, mcd = FALSE)
  if (fit$quan != h) cat(sprintf("note %d %d: ltsReg's quan is %d, h = %d\n", n, k, fit$quan, h))
  # raw.coefficients put the intercept first; ours have it last.
  theirs <- c(fit$raw.coefficients[-1], fit$raw.coefficients[1])
  ours <- scan(paste0(stem, ".coef"), quiet = TRUE)
  cat(sprintf("peer %d %d %d %.17g %.17g\n", n, k, h, objective(x, y, theirs, h), objective(x, y, ours, h)))
  if (min_time > 0) {
    t <- time_per_call(function() ltsReg(x, y, alpha = 0.5, mcd = FALSE), min_time)
    cat(sprintf("theirs %d %d %.6e %.6e\n", n, k, t[1], t[2]))
  }
}
