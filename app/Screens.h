#pragma once
namespace zalvik {
class Program {
public:
    void start() {}
};
}  // namespace zalvik
