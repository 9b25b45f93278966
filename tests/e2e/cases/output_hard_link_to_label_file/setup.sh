# out.tsv is a second name (hard link) of the label file
ln labels.txt out.tsv
