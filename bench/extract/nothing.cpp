// A program that ends at once, linked statically: the least any program built on the C
// library costs to start here, the floor the one-icon benchmark is weighed against.
int main()
{
    return 0;
}
