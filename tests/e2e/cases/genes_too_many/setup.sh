# 46342 genes of two samples: one gene more than the 32-bit pair count allows
python3 -c "import sys; sys.stdout.write('1.5 2.5\n' * 46342)" > expr.txt
