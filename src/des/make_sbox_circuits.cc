// SPDX-License-Identifier: MIT
// Writes des_sbox_circuits.h: each DES S-box as a straight-line sequence of
// AND, OR, XOR, AND-NOT and NOT operations, for the bitsliced block code.
//
// Not part of the build. To regenerate (several minutes; the output is the
// same every time):
//   g++ -std=c++20 -O2 -I src src/des/make_sbox_circuits.cc -o make_sbox_circuits
//   ./make_sbox_circuits > src/des/des_sbox_circuits.h
//
// Method: every function of the six inputs is a 64-bit truth table. An output
// is built by splitting on one input s at a time: f = a ^ (b & s) (or & ~s),
// where a only has to be right where s is 0 and b = f ^ a only where s is 1;
// the parts that need not be right are free, which keeps the pieces small.
// Before splitting, the builder looks for the wanted function among the ones
// already made, or one operation away from two of them. Every order of the
// inputs and of the four outputs is tried, and the smallest circuit is kept.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "des/des_tables.h"

namespace {

using Table = std::uint64_t;  // bit v = the function's value on input v

enum class Op { kInput, kAnd, kOr, kXor, kAndNot, kNot };

struct Node {
  Op op;
  int a;
  int b;
  Table table;
};

// Input k (0 = the first of the six S-box input bits).
Table InputTable(int k) {
  Table t = 0;
  for (int v = 0; v < 64; ++v) {
    if ((v >> (5 - k)) & 1) t |= Table{1} << v;
  }
  return t;
}

class Builder {
 public:
  Builder(std::array<int, 6> order, int search_depth) : order_(order), search_depth_(search_depth) {
    for (int k = 0; k < 6; ++k) nodes_.push_back({Op::kInput, k, -1, InputTable(k)});
  }

  // A node equal to `target` wherever `care` is set.
  int Build(Table target, Table care, int depth) {
    const int n = static_cast<int>(nodes_.size());
    for (int i = 0; i < n; ++i) {
      if (((nodes_[i].table ^ target) & care) == 0) return i;
    }
    for (int i = 0; i < n; ++i) {
      if (((~nodes_[i].table ^ target) & care) == 0) return Add(Op::kNot, i, -1);
    }
    for (int i = 0; i < n; ++i) {
      const Table x = nodes_[i].table;
      for (int j = 0; j < n; ++j) {
        const Table y = nodes_[j].table;
        if (j > i) {
          if ((((x & y) ^ target) & care) == 0) return Add(Op::kAnd, i, j);
          if ((((x | y) ^ target) & care) == 0) return Add(Op::kOr, i, j);
          if ((((x ^ y) ^ target) & care) == 0) return Add(Op::kXor, i, j);
        }
        if (j != i && (((x & ~y) ^ target) & care) == 0) return Add(Op::kAndNot, i, j);
      }
    }
    // Six splits leave single points, which the searches above always meet.
    const int s = order_[depth];
    const Table on = InputTable(s);
    auto split = [&](bool on_zero) {
      const Table first = on_zero ? on : ~on;  // where a alone must be right
      const int a = Build(target, care & first, depth + 1);
      const int b = Build(target ^ nodes_[a].table, care & ~first, depth + 1);
      const int gated = Add(on_zero ? Op::kAndNot : Op::kAnd, b, s);
      return Add(Op::kXor, a, gated);
    };
    if (depth >= search_depth_) return split(false);
    // Near the top, try both ways and keep the smaller.
    const std::size_t mark = nodes_.size();
    split(false);
    const std::size_t cost_and = nodes_.size() - mark;
    nodes_.resize(mark);
    const int result = split(true);
    if (nodes_.size() - mark <= cost_and) return result;
    nodes_.resize(mark);
    return split(false);
  }

  int Gates() const { return static_cast<int>(nodes_.size()) - 6; }
  const std::vector<Node>& Nodes() const { return nodes_; }

 private:
  int Add(Op op, int a, int b) {
    const Table x = nodes_[a].table;
    const Table y = b >= 0 ? nodes_[b].table : 0;
    Table t = 0;
    switch (op) {
      case Op::kAnd: t = x & y; break;
      case Op::kOr: t = x | y; break;
      case Op::kXor: t = x ^ y; break;
      case Op::kAndNot: t = x & ~y; break;
      case Op::kNot: t = ~x; break;
      case Op::kInput: break;
    }
    nodes_.push_back({op, a, b, t});
    return static_cast<int>(nodes_.size()) - 1;
  }

  std::array<int, 6> order_;
  int search_depth_;
  std::vector<Node> nodes_;
};

struct Best {
  int gates = 1 << 30;
  std::vector<Node> nodes;
  std::array<int, 4> outputs{};
};

std::vector<int> g_search_depths = {2, 3, 4, 6};

Best Search(int box) {
  Table wanted[4] = {};
  for (int v = 0; v < 64; ++v) {
    const unsigned s = kulve::des::tables::SBox(static_cast<unsigned>(box), static_cast<unsigned>(v));
    for (int j = 0; j < 4; ++j) {
      if ((s >> (3 - j)) & 1u) wanted[j] |= Table{1} << v;
    }
  }
  Best best;
  for (int search_depth : g_search_depths) {
    std::array<int, 6> order = {0, 1, 2, 3, 4, 5};
    do {
      std::array<int, 4> output_order = {0, 1, 2, 3};
      do {
        Builder builder(order, search_depth);
        std::array<int, 4> outputs{};
        for (int j : output_order) outputs[j] = builder.Build(wanted[j], ~Table{0}, 0);
        if (builder.Gates() < best.gates) {
          best.gates = builder.Gates();
          best.nodes = builder.Nodes();
          best.outputs = outputs;
        }
      } while (std::next_permutation(output_order.begin(), output_order.end()));
    } while (std::next_permutation(order.begin(), order.end()));
  }
  for (int j = 0; j < 4; ++j) {  // check the result on every input
    if (best.nodes[best.outputs[j]].table != wanted[j]) {
      std::fprintf(stderr, "S%d output %d is wrong\n", box + 1, j + 1);
      std::exit(1);
    }
  }
  return best;
}

void Emit(int box, const Best& best) {
  std::printf("\n// S%d: %d operations.\n", box + 1, best.gates);
  std::printf("template <class W>\ninline void S%d(W a1, W a2, W a3, W a4, W a5, W a6, W& out1, W& out2, W& out3, "
              "W& out4) {\n", box + 1);
  auto name = [&](int i) {
    char buf[16];
    if (best.nodes[i].op == Op::kInput) {
      std::snprintf(buf, sizeof buf, "a%d", best.nodes[i].a + 1);
    } else {
      std::snprintf(buf, sizeof buf, "t%d", i - 6);
    }
    return std::string(buf);
  };
  for (std::size_t i = 6; i < best.nodes.size(); ++i) {
    const Node& n = best.nodes[i];
    const std::string a = name(n.a);
    std::string expr;
    switch (n.op) {
      case Op::kAnd: expr = a + " & " + name(n.b); break;
      case Op::kOr: expr = a + " | " + name(n.b); break;
      case Op::kXor: expr = a + " ^ " + name(n.b); break;
      case Op::kAndNot: expr = a + " & ~" + name(n.b); break;
      case Op::kNot: expr = "~" + a; break;
      case Op::kInput: break;
    }
    std::printf("  const W %s = %s;\n", name(static_cast<int>(i)).c_str(), expr.c_str());
  }
  for (int j = 0; j < 4; ++j) std::printf("  out%d ^= %s;\n", j + 1, name(best.outputs[j]).c_str());
  std::printf("}\n");
}

}  // namespace

// Arguments, if any, replace the list of search depths (0 = quick).
int main(int argc, char** argv) {
  if (argc > 1) {
    g_search_depths.clear();
    for (int i = 1; i < argc; ++i) g_search_depths.push_back(std::atoi(argv[i]));
  }
  std::printf(
      "// SPDX-License-Identifier: MIT\n"
      "// Generated by make_sbox_circuits.cc; do not edit.\n"
      "//\n"
      "// The DES S-boxes as logic on bitsliced words: a1..a6 are the six input\n"
      "// bits (a1 first), and the four output bits (out1 first) are XORed into\n"
      "// out1..out4. W is any type with &, |, ^ and ~. Internal linkage, so that\n"
      "// files built for different instruction sets each keep their own copy.\n"
      "#pragma once\n\n"
      "namespace kulve::des::sbox_circuits {\n"
      "namespace {\n");
  int total = 0;
  for (int box = 0; box < 8; ++box) {
    const Best best = Search(box);
    total += best.gates;
    Emit(box, best);
    std::fprintf(stderr, "S%d: %d operations\n", box + 1, best.gates);
  }
  std::printf("\n}  // namespace\n}  // namespace kulve::des::sbox_circuits\n");
  std::fprintf(stderr, "total %d\n", total);
  return 0;
}
