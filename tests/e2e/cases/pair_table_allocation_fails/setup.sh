# 46341 genes (the most allowed) of two samples: about 1.07e9 pairs, whose
# table cannot fit in the 1 GiB address space the run is given (ulimit_v)
python3 -c "import sys; sys.stdout.write('1.5 2.5\n' * 46341)" > expr.txt
