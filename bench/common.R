# Sourced by the peer scripts: reading the data sets the benchmarks wrote, the timing of a
# call, and the MCD objective computed by one formula for both programs' subsets.
# Each sources it from its own folder (the --file= argument of Rscript).

# The rows x cols matrix of file, row-major little-endian doubles.
read_rows <- function(file, rows, cols) matrix(readBin(file, "double", rows * cols), rows, cols, byrow = TRUE)

# Wall and processor seconds per call of f (processor: user + system of this process), the
# calls doubled until they take min_time (or 1000 calls).
time_per_call <- function(f, min_time) {
  reps <- 1
  repeat {
    t <- system.time(for (r in seq_len(reps)) f())
    if (t[["elapsed"]] >= min_time || reps >= 1000)
      return(c(t[["elapsed"]], t[["user.self"]] + t[["sys.self"]]) / reps)
    reps <- reps * 2
  }
}

# log det of the covariance (divisor h - 1) of the rows idx of x; NaN when it is singular.
logdet <- function(x, idx) {
  r <- tryCatch(chol(cov(x[idx, , drop = FALSE])), error = function(e) NULL)
  if (is.null(r)) NaN else 2 * sum(log(diag(r)))
}

# The version line of the peer package.
peer_banner <- function(pkg) cat(pkg, as.character(packageVersion(pkg)), "on", R.version.string, "\n")
