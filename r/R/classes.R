# Which samples take part and in which class: labels and sample filters
# matched to the samples by name or position, and the classes said by
# values, merged values or shell-style patterns.

# The first few of a set of names, quoted, for a message.
some <- function(names, at_most = 3L) {
  shown <- paste0("\"", utils::head(names, at_most), "\"", collapse = ", ")
  if (length(names) > at_most) paste0(shown, " and ", length(names) - at_most, " more") else shown
}

# One value per sample, in the order of the columns: by name when values has
# names (they must be the sample names, each once), else by position.
per_sample <- function(values, what, sample_names, samples) {
  given <- names(values)
  if (is.null(given)) {
    if (length(values) != samples && what == "labels")
      fail("Wrong number of labels: ", length(values), " labels for ", samples, " samples.")
    if (length(values) != samples)
      fail(what, ": ", length(values), " values for ", samples, " samples; one per sample.")
    return(values)
  }
  if (anyNA(given) || !all(nzchar(given)))
    fail(what, ": some values have a name and some not; name every one or none.")
  if (is.null(sample_names))
    fail(what, " have names but the samples (columns of expr) have none: name the columns, ",
         "or unname(", what, ") to take them by position.")
  if (anyDuplicated(sample_names))
    fail("The sample name \"", sample_names[anyDuplicated(sample_names)], "\" occurs twice in ",
         "expr: ", what, " cannot be matched by name; unname(", what,
         ") to take them by position.")
  if (anyDuplicated(given))
    fail(what, ": the name \"", given[anyDuplicated(given)], "\" occurs twice.")
  unknown <- setdiff(given, sample_names)
  if (length(unknown))
    fail(what, ": ", some(unknown), " not among the samples of expr (its columns, such as ",
         some(sample_names, 2L), "); pass ", what, "[colnames(expr)] to use part of them.")
  missing <- setdiff(sample_names, given)
  if (length(missing))
    fail(what, ": no value for the sample", if (length(missing) > 1L) "s", " ", some(missing),
         " of expr.")
  values[match(sample_names, given)]
}

# Which samples take part: TRUE/FALSE per sample.
sample_filter <- function(samples, sample_names, n) {
  if (is.null(samples)) return(rep(TRUE, n))
  if (is.logical(samples)) {
    keep <- per_sample(samples, "samples", sample_names, n)
    if (anyNA(keep)) fail("samples: NA for sample ", which(is.na(keep))[1], "; TRUE or FALSE.")
    return(unname(keep))
  }
  if (is.character(samples)) {
    if (is.null(sample_names))
      fail("samples names samples but the columns of expr have no names; give TRUE or FALSE ",
           "per sample instead.")
    unknown <- setdiff(samples, sample_names)
    if (length(unknown)) fail("samples: ", some(unknown), " not among the samples of expr.")
    return(sample_names %in% samples)
  }
  fail("samples must be TRUE or FALSE per sample, or sample names.")
}

# The label values, sorted, with their counts: "value (count), ...".
label_counts <- function(values) {
  key <- as.character(values)
  counts <- table(factor(key, levels = as.character(sort(unique(values), method = "radix"))))
  paste0(names(counts), " (", as.integer(counts), ")", collapse = ", ")
}

# The (Perl) regular expression of a shell-style pattern: * any text, ? one
# character, [set] or [!set] one character of a set or not of it.
glob_regex <- function(pattern) {
  chars <- strsplit(pattern, "", fixed = TRUE)[[1]]
  out <- character()
  k <- 1L
  while (k <= length(chars)) {
    ch <- chars[k]
    close <- if (ch == "[") which(chars == "]" & seq_along(chars) > k + 1L +
                                    (k < length(chars) && chars[k + 1L] == "!"))[1] else NA
    if (ch == "*") {
      out <- c(out, ".*")
    } else if (ch == "?") {
      out <- c(out, ".")
    } else if (!is.na(close)) {
      set <- chars[(k + 1L):(close - 1L)]
      if (set[1] == "!") set[1] <- "^"
      set[set == "\\"] <- "\\\\"
      out <- c(out, "[", set, "]")
      k <- close
    } else {
      out <- c(out, if (ch %in% strsplit("[]().\\^$|+{}", "")[[1]]) paste0("\\", ch) else ch)
    }
    k <- k + 1L
  }
  paste0("^", paste(out, collapse = ""), "$")
}

# The label values a class1 or class2 argument stands for, among those that
# occur (present): its values, and for strings the values its patterns match.
class_values <- function(wanted, what, present, strings, listing) {
  if (!is.atomic(wanted) || length(wanted) == 0L || anyNA(wanted))
    fail(what, " must be one or more label values.")
  out <- character()
  for (value in as.character(wanted)) {
    if (value %in% present) {
      out <- c(out, value)
    } else if (strings && grepl("[*?[]", value)) {
      hits <- present[grepl(glob_regex(value), present, perl = TRUE)]
      if (!length(hits))
        fail(what, " \"", value, "\" matches no label; ", listing, ".")
      out <- c(out, sort(hits, method = "radix"))
    } else {
      fail(what, " \"", value, "\" does not occur in the labels; ", listing, ".")
    }
  }
  unique(out)
}

# Splits the samples into class 1, class 2 and those left out: the samples
# used (column numbers), their labels for the library (1 = class 1, 0 =
# class 2), the values of each class, the number left out and a warning for
# each class too small for the p-values' large-sample theory.
choose_classes <- function(labels, sample_names, n, class1, class2, samples) {
  if (!is.atomic(labels) || is.null(labels))
    fail("labels must be a vector or a factor, one label per sample.")
  labels <- per_sample(labels, "labels", sample_names, n)
  keep <- sample_filter(samples, sample_names, n)
  values <- if (is.factor(labels)) as.character(labels) else unname(labels)
  key <- as.character(values)
  named <- function(k) if (is.null(sample_names)) k else paste0(k, " \"", sample_names[k], "\"")
  if (anyNA(key[keep]) && (is.null(class1) || is.null(class2)))
    fail("Invalid data in labels (sample ", named(which(keep & is.na(key))[1]), " has none); ",
         "give class1 and class2 to leave such samples out, or leave them out with samples.")
  present <- unique(key[keep & !is.na(key)])
  listing <- paste0(if (is.null(samples)) "the labels: " else "the labels of the samples kept: ",
                    label_counts(values[keep & !is.na(key)]))
  if (is.null(class1) && is.null(class2)) {
    if (!(is.logical(values) || is.numeric(values) && all(values[keep] %in% c(0, 1))))
      fail("Invalid data in labels: 0 and 1 or TRUE and FALSE, or name the classes with class1 ",
           "(and class2); ", listing, ".")
    class1 <- if (is.logical(values)) TRUE else 1
    class2 <- if (is.logical(values)) FALSE else 0
    values1 <- as.character(class1)
    values2 <- as.character(class2)
  } else {
    strings <- is.character(values)
    values1 <- if (!is.null(class1)) class_values(class1, "class1", present, strings, listing)
    values2 <- if (!is.null(class2)) class_values(class2, "class2", present, strings, listing)
    both <- intersect(values1, values2)
    if (length(both)) fail("The label \"", both[1], "\" is in both class1 and class2.")
    if (is.null(class1) || is.null(class2)) {
      rest <- setdiff(present, c(values1, values2))
      if (length(rest) > 1L)
        fail("More than two classes (", listing, "); name ",
             if (is.null(class2)) "class 2 with class2" else "class 1 with class1",
             " (a value, values to merge, or a pattern), or leave samples out with samples.")
      if (is.null(class2)) values2 <- rest else values1 <- rest
    }
  }
  in1 <- keep & key %in% values1
  in2 <- keep & key %in% values2
  # The class values as the labels hold them (numbers stay numbers).
  as_given <- function(v, wanted) {
    found <- values[match(v, key)]
    if (anyNA(found)) wanted else found
  }
  class1 <- if (length(values1)) as_given(values1, class1) else class1
  class2 <- if (length(values2)) as_given(values2, class2) else class2
  n1 <- sum(in1)
  n2 <- sum(in2)
  small <- character()
  for (k in 1:2) {
    size <- c(n1, n2)[k]
    members <- list(class1, class2)[[k]]
    shown <- if (!length(members)) "no label"
             else if (is.character(values)) paste0("\"", members, "\"", collapse = ", ")
             else paste(members, collapse = ", ")
    if (size < 3L)
      fail("Class ", k, " (", shown, ") has ", size, " sample", if (size != 1L) "s",
           ": at least 3 are needed; with fewer, the correlations and their p-values carry ",
           "no information.")
    if (size < 10L)
      small <- c(small, paste0("Class ", k, " (", shown, ") has ", size, " samples: the ",
                               "p-values rest on large-sample theory and are rough below 10 ",
                               "samples per class."))
  }
  used <- which(in1 | in2)
  list(used = used, labels = as.integer(in1[used]), class1 = class1, class2 = class2,
       left_out = n - length(used), small = small)
}
