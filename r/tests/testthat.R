library(testthat)
library(tivarne)

test_check("tivarne")
