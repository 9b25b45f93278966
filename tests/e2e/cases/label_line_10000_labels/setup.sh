# 10000 labels: 19999 characters before the newline, the longest line accepted
python3 -c "import sys; sys.stdout.write(' '.join(['1', '0'] * 5000) + '\n')" > labels.txt
