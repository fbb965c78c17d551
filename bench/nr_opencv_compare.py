#!/usr/bin/python3
# OpenCV's colour non-local-means denoiser with its defaults on a raw picture (u32 width,
# u32 height, B G R bytes), for bench_algorithms_restore.cpp. Writes the result in the same
# form and the seconds the denoising call took.
import sys
import time

import cv2
import numpy as np

src, dst, timing = sys.argv[1:4]
with open(src, "rb") as f:
    w, h = np.frombuffer(f.read(8), dtype="<u4")
    img = np.frombuffer(f.read(), dtype=np.uint8).reshape(int(h), int(w), 3)
start = time.perf_counter()
out = cv2.fastNlMeansDenoisingColored(img)
seconds = time.perf_counter() - start
with open(dst, "wb") as f:
    f.write(np.array([w, h], dtype="<u4").tobytes())
    f.write(np.ascontiguousarray(out).tobytes())
with open(timing, "w") as f:
    f.write("%f\n" % seconds)
