# result.tsv is a symbolic link to the expression file
ln -s expr.txt result.tsv
