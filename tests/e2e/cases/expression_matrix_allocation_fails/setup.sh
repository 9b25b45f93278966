# 5000 samples (2500 per class) and 46341 one-value lines: the scan passes,
# the 5000 x 46341 expression matrix (1.85 GB) cannot be allocated.
python3 -c "import sys; sys.stdout.write(' '.join(['1', '0'] * 2500) + '\n')" > labels.txt
python3 -c "import sys; sys.stdout.write('1.5\n' * 46341)" > expr.txt
