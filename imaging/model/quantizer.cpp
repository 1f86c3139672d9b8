#include "imaging/model/quantizer.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr int kSide = 32;  // histogram cells per channel (5 bits)
constexpr int kCells = kSide * kSide * kSide;

inline int CellOf(int r, int g, int b) { return (r << 10) | (g << 5) | b; }

inline uint8_t MeanByte(uint64_t Sum, uint64_t N) {
  return uint8_t(std::min<uint64_t>((Sum + N / 2) / N, 255));
}

}  // namespace

// Pixel count and channel sums per 5-bit cell, so each cell knows its exact mean colour.
struct TVLColorQuantizer::THistogram {
  std::vector<uint64_t> N = std::vector<uint64_t>(kCells, 0);
  std::vector<std::array<uint64_t, 3>> Sum = std::vector<std::array<uint64_t, 3>>(kCells);
};

TVLColorQuantizer::TVLColorQuantizer(int32_t Width, int32_t Height, const TRowReader& ReadRow,
                                     int32_t Count) {
  Build(Width, Height, ReadRow, std::clamp(Count, 1, 256));
}

TVLColorQuantizer::TVLColorQuantizer(std::vector<TRGB> Palette) : FMethod(qmSourcePalette) {
  if (Palette.empty()) Palette.push_back(TRGB{});
  if (Palette.size() > 256) Palette.resize(256);
  FPalette = std::move(Palette);
}

TVLColorQuantizer::~TVLColorQuantizer() = default;

void TVLColorQuantizer::GrayRamp(int32_t Count) {
  FMethod = qmGrayRamp;
  FPalette.clear();
  for (int32_t i = 0; i < Count; ++i) {
    const uint8_t v = uint8_t(256 * i / Count);
    FPalette.push_back(TRGB{v, v, v});
  }
}

void TVLColorQuantizer::Build(int32_t Width, int32_t Height, const TRowReader& ReadRow,
                              int32_t Count) {
  auto hist = std::make_unique<THistogram>();
  // Distinct colours, tracked until there are more than Count of them (open addressing).
  std::vector<uint32_t> seen(1024, 0);  // packed colour + 1
  std::vector<uint32_t> distinct;
  bool tooMany = false, gray = true;
  std::vector<TRGB> row(size_t(std::max(Width, 0)));
  uint32_t last = 0xFFFFFFFF;

  for (int32_t y = 0; y < Height && Width > 0; ++y) {
    ReadRow(y, row.data());
    for (const TRGB c : row) {
      const int cell = CellOf(c.r >> 3, c.g >> 3, c.b >> 3);
      hist->N[size_t(cell)]++;
      hist->Sum[size_t(cell)][0] += c.r;
      hist->Sum[size_t(cell)][1] += c.g;
      hist->Sum[size_t(cell)][2] += c.b;
      if (c.r != c.g || c.g != c.b) gray = false;
      const uint32_t key = PackRGB(c);
      if (tooMany || key == last) continue;
      last = key;
      size_t slot = (key * 2654435761u) >> 22;
      while (seen[slot] != 0 && seen[slot] != key + 1) slot = (slot + 1) & 1023;
      if (seen[slot] == 0) {
        if (int32_t(distinct.size()) == Count) {
          tooMany = true;
          continue;
        }
        seen[slot] = key + 1;
        distinct.push_back(key);
      }
    }
  }

  if (gray) {
    GrayRamp(Count);
  } else if (!tooMany) {
    FMethod = qmExactColors;
    std::sort(distinct.begin(), distinct.end());
    for (uint32_t k : distinct) FPalette.push_back(UnpackRGB(k));
  } else if (Count < 128) {
    MedianCut(*hist, Count);
  } else {
    Octree(*hist, Count);
  }
  if (FPalette.empty()) FPalette.push_back(TRGB{});
}

// ---- Median cut ------------------------------------------------------------------------------
// Boxes of histogram cells. The box with the largest squared error (measured on the cells' mean
// colours) is split on the axis and at the place that lowers the error most.
void TVLColorQuantizer::MedianCut(const THistogram& H, int32_t Count) {
  FMethod = qmMedianCut;
  struct TBox {
    int Lo[3], Hi[3];
    uint64_t N = 0;
    double S[3] = {0, 0, 0};
    double Error = 0;
  };
  auto measure = [&H](TBox& b) {
    int lo[3] = {kSide, kSide, kSide}, hi[3] = {-1, -1, -1};
    double q = 0;
    b.N = 0;
    b.S[0] = b.S[1] = b.S[2] = 0;
    for (int r = b.Lo[0]; r <= b.Hi[0]; ++r)
      for (int g = b.Lo[1]; g <= b.Hi[1]; ++g)
        for (int bl = b.Lo[2]; bl <= b.Hi[2]; ++bl) {
          const size_t c = size_t(CellOf(r, g, bl));
          const uint64_t n = H.N[c];
          if (!n) continue;
          const int at[3] = {r, g, bl};
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], at[k]);
            hi[k] = std::max(hi[k], at[k]);
            b.S[k] += double(H.Sum[c][k]);
          }
          b.N += n;
          const double s0 = double(H.Sum[c][0]), s1 = double(H.Sum[c][1]), s2 = double(H.Sum[c][2]);
          q += (s0 * s0 + s1 * s1 + s2 * s2) / double(n);
        }
    if (b.N == 0) return;
    for (int k = 0; k < 3; ++k) b.Lo[k] = lo[k], b.Hi[k] = hi[k];  // shrink to occupied cells
    b.Error = q - (b.S[0] * b.S[0] + b.S[1] * b.S[1] + b.S[2] * b.S[2]) / double(b.N);
  };

  std::vector<TBox> boxes(1);
  boxes[0].Lo[0] = boxes[0].Lo[1] = boxes[0].Lo[2] = 0;
  boxes[0].Hi[0] = boxes[0].Hi[1] = boxes[0].Hi[2] = kSide - 1;
  measure(boxes[0]);

  while (int32_t(boxes.size()) < Count) {
    size_t pick = 0;
    for (size_t i = 1; i < boxes.size(); ++i)
      if (boxes[i].Error > boxes[pick].Error) pick = i;
    TBox& b = boxes[pick];
    if (!(b.Error > 0)) break;

    // Per axis: slice counts and sums; the best cut maximises |S_L|^2/N_L + |S_R|^2/N_R.
    double bestScore = -1;
    int bestAxis = -1, bestCut = 0;
    for (int axis = 0; axis < 3; ++axis) {
      const int len = b.Hi[axis] - b.Lo[axis] + 1;
      if (len < 2) continue;
      std::vector<uint64_t> n(size_t(len), 0);
      std::vector<std::array<double, 3>> s(size_t(len), {0, 0, 0});
      for (int r = b.Lo[0]; r <= b.Hi[0]; ++r)
        for (int g = b.Lo[1]; g <= b.Hi[1]; ++g)
          for (int bl = b.Lo[2]; bl <= b.Hi[2]; ++bl) {
            const size_t c = size_t(CellOf(r, g, bl));
            if (!H.N[c]) continue;
            const int at[3] = {r, g, bl};
            const size_t t = size_t(at[axis] - b.Lo[axis]);
            n[t] += H.N[c];
            for (int k = 0; k < 3; ++k) s[t][k] += double(H.Sum[c][k]);
          }
      uint64_t nl = 0;
      double sl[3] = {0, 0, 0};
      for (int t = 0; t + 1 < len; ++t) {
        nl += n[size_t(t)];
        for (int k = 0; k < 3; ++k) sl[k] += s[size_t(t)][k];
        const uint64_t nr = b.N - nl;
        if (nl == 0 || nr == 0) continue;
        const double sr[3] = {b.S[0] - sl[0], b.S[1] - sl[1], b.S[2] - sl[2]};
        const double score = (sl[0] * sl[0] + sl[1] * sl[1] + sl[2] * sl[2]) / double(nl) +
                             (sr[0] * sr[0] + sr[1] * sr[1] + sr[2] * sr[2]) / double(nr);
        if (score > bestScore) bestScore = score, bestAxis = axis, bestCut = b.Lo[axis] + t;
      }
    }
    if (bestAxis < 0) {
      b.Error = 0;  // a single occupied cell: nothing left to split
      continue;
    }
    TBox right = b;
    b.Hi[bestAxis] = bestCut;
    right.Lo[bestAxis] = bestCut + 1;
    measure(b);
    measure(right);
    boxes.push_back(right);
  }

  FPalette.clear();
  for (const TBox& b : boxes)
    if (b.N)
      FPalette.push_back(TRGB{MeanByte(uint64_t(b.S[2]), b.N), MeanByte(uint64_t(b.S[1]), b.N),
                              MeanByte(uint64_t(b.S[0]), b.N)});
}

// ---- Octree ----------------------------------------------------------------------------------
// Every occupied histogram cell enters an eight-level colour octree with its weight; then the
// deepest nodes with the fewest pixels are folded into their parents until at most Count
// leaves remain.
void TVLColorQuantizer::Octree(const THistogram& H, int32_t Count) {
  FMethod = qmOctree;
  struct TNode {
    uint64_t N = 0;
    uint64_t S[3] = {0, 0, 0};
    int32_t Child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int32_t Level = 0;
    bool Leaf = false;
  };
  std::vector<TNode> nodes(1);
  int32_t leaves = 0;
  for (size_t c = 0; c < size_t(kCells); ++c) {
    const uint64_t n = H.N[c];
    if (!n) continue;
    const uint8_t r = MeanByte(H.Sum[c][0], n), g = MeanByte(H.Sum[c][1], n),
                  b = MeanByte(H.Sum[c][2], n);
    int32_t at = 0;
    for (int level = 0;; ++level) {
      TNode& node = nodes[size_t(at)];
      node.N += n;
      for (int k = 0; k < 3; ++k) node.S[k] += H.Sum[c][size_t(k)];
      if (level == 8) {
        if (!node.Leaf) node.Leaf = true, ++leaves;
        break;
      }
      const int shift = 7 - level;
      const int idx = (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
      int32_t next = node.Child[idx];
      if (next < 0) {
        next = int32_t(nodes.size());
        nodes[size_t(at)].Child[idx] = next;  // node may move when the vector grows
        TNode child;
        child.Level = level + 1;
        nodes.push_back(child);
      }
      at = next;
    }
  }

  std::vector<std::vector<int32_t>> byLevel(8);
  for (size_t i = 0; i < nodes.size(); ++i)
    if (!nodes[i].Leaf) byLevel[size_t(nodes[i].Level)].push_back(int32_t(i));
  for (int level = 7; level >= 0 && leaves > Count; --level) {
    auto& list = byLevel[size_t(level)];
    std::stable_sort(list.begin(), list.end(),
                     [&nodes](int32_t a, int32_t b) { return nodes[size_t(a)].N < nodes[size_t(b)].N; });
    for (int32_t i : list) {
      if (leaves <= Count) break;
      TNode& node = nodes[size_t(i)];
      int32_t kids = 0;
      for (int32_t& ch : node.Child)
        if (ch >= 0) ++kids, ch = -1;
      node.Leaf = true;
      leaves -= kids - 1;
    }
  }

  FPalette.clear();
  std::vector<int32_t> stack{0};
  while (!stack.empty()) {
    const TNode& node = nodes[size_t(stack.back())];
    stack.pop_back();
    if (node.Leaf) {
      if (node.N)
        FPalette.push_back(TRGB{MeanByte(node.S[2], node.N), MeanByte(node.S[1], node.N),
                                MeanByte(node.S[0], node.N)});
      continue;
    }
    for (int k = 7; k >= 0; --k)
      if (node.Child[k] >= 0) stack.push_back(node.Child[k]);
  }
}

// ---- Nearest colour --------------------------------------------------------------------------
// For a 16 x 16 x 16 cell of the colour cube only the entries whose nearest possible distance
// to the cell is within the smallest farthest distance of any entry can be the nearest colour
// of a point in it; the search then looks at those few entries only.
const std::vector<uint8_t>& TVLColorQuantizer::Candidates(uint32_t Cell) {
  if (FCells.empty()) FCells.resize(4096);
  auto& slot = FCells[Cell];
  if (slot) return *slot;
  const int lo[3] = {int(Cell >> 8) * 16, int((Cell >> 4) & 15) * 16, int(Cell & 15) * 16};
  std::vector<int32_t> nearD(FPalette.size());
  int32_t bound = std::numeric_limits<int32_t>::max();
  for (size_t i = 0; i < FPalette.size(); ++i) {
    const int v[3] = {FPalette[i].r, FPalette[i].g, FPalette[i].b};
    int32_t dmin = 0, dmax = 0;
    for (int k = 0; k < 3; ++k) {
      const int a = lo[k], b = lo[k] + 15;
      const int dn = v[k] < a ? a - v[k] : v[k] > b ? v[k] - b : 0;
      const int df = std::max(std::abs(v[k] - a), std::abs(v[k] - b));
      dmin += dn * dn;
      dmax += df * df;
    }
    nearD[i] = dmin;
    bound = std::min(bound, dmax);
  }
  slot = std::make_unique<std::vector<uint8_t>>();
  for (size_t i = 0; i < FPalette.size(); ++i)
    if (nearD[i] <= bound) slot->push_back(uint8_t(i));
  return *slot;
}

uint8_t TVLColorQuantizer::IndexOf(TRGB Color) {
  const uint32_t key = PackRGB(Color);
  if (FCacheKey.empty()) {
    FCacheKey.assign(4096, 0);
    FCacheIndex.assign(4096, 0);
  }
  const size_t slot = (key * 2654435761u) >> 20;
  if (FCacheKey[slot] == key + 1) return FCacheIndex[slot];
  const auto& cands = Candidates(uint32_t((Color.r >> 4) << 8 | (Color.g >> 4) << 4 | (Color.b >> 4)));
  int32_t best = std::numeric_limits<int32_t>::max();
  uint8_t index = 0;
  for (uint8_t i : cands) {
    const TRGB p = FPalette[i];
    const int dr = p.r - Color.r, dg = p.g - Color.g, db = p.b - Color.b;
    const int32_t d = dr * dr + dg * dg + db * db;
    if (d < best) best = d, index = i;
  }
  FCacheKey[slot] = key + 1;
  FCacheIndex[slot] = index;
  return index;
}
